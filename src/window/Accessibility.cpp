#include "window/Accessibility.h"

#include "window/LabelWidget.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace
{

const char* const AlertProperty = "velmorantAlert";
const char* const NameProperty = "velmorantName";
const char* const DescriptionProperty = "velmorantDescription";

bool setText(QWidget* widget, const char* property, const QString& text)
{
    const QVariant old = widget->property(property);
    if (old.isValid() && old.toString() == text) {
        return false;
    }
    widget->setProperty(property, text);
    return true;
}

// A widget with a fixed role whose name falls back to a label's own text.
class ProgramWidgetAccessible : public QAccessibleWidget
{
public:
    ProgramWidgetAccessible(QWidget* widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const char* property = t == QAccessible::Name          ? NameProperty
                               : t == QAccessible::Description ? DescriptionProperty
                                                               : nullptr;
        if (property != nullptr && widget()->property(property).isValid()) {
            return widget()->property(property).toString();
        }
        QString value = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && value.isEmpty()) {
            if (const auto* label = qobject_cast<const LabelWidget*>(widget())) {
                value = label->text().trimmed();
            }
        }
        return value;
    }
};

QAccessible::Role roleOf(const QString& className, const QWidget* widget)
{
    // Space or Enter picks a term up, as a button is pressed; a click on
    // the title picture opens the About window.
    if (className == QLatin1String("TermLabelWidget") || className == QLatin1String("PictureBox")) {
        return QAccessible::Button;
    }
    if (className == QLatin1String("LabelWidget")) {
        return widget->property(AlertProperty).toBool() ? QAccessible::AlertMessage
                                                        : QAccessible::StaticText;
    }
    if (className == QLatin1String("ShapeWidget") || className == QLatin1String("FrameBox")) {
        return QAccessible::Grouping;
    }
    return QAccessible::NoRole;
}

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    const QAccessible::Role role = roleOf(className, widget);
    if (role == QAccessible::NoRole) {
        return nullptr;
    }
    return new ProgramWidgetAccessible(widget, role);
}

} // namespace

namespace Accessibility
{

void install()
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(factory);
    }
}

void setAlert(QWidget* widget)
{
    widget->setProperty(AlertProperty, true);
}

bool setName(QWidget* widget, const QString& name)
{
    return setText(widget, NameProperty, name);
}

bool setDescription(QWidget* widget, const QString& description)
{
    return setText(widget, DescriptionProperty, description);
}

bool isProgramWidget(const QWidget* widget)
{
    return roleOf(QString::fromLatin1(widget->metaObject()->className()), widget) !=
           QAccessible::NoRole;
}

} // namespace Accessibility
