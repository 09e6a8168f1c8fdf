#include "view/Accessibility.h"

#include "view/LabelWidget.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace
{

const char* const AlertProperty = "velmorantAlert";

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
        QString value = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && value.isEmpty()) {
            if (const auto* label = qobject_cast<const LabelWidget*>(widget())) {
                value = label->text().trimmed();
            }
        }
        return value;
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    QAccessible::Role role = QAccessible::NoRole;
    if (className == QLatin1String("ItemLabelWidget")) {
        // Space or Enter picks an item up, as a button is pressed.
        role = QAccessible::Button;
    } else if (className == QLatin1String("LabelWidget")) {
        role = widget->property(AlertProperty).toBool() ? QAccessible::AlertMessage
                                                        : QAccessible::StaticText;
    } else if (className == QLatin1String("ShapeWidget") ||
               className == QLatin1String("FrameBox")) {
        role = QAccessible::Grouping;
    } else if (className == QLatin1String("PictureBox")) {
        role = QAccessible::Button;
    } else {
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

} // namespace Accessibility
