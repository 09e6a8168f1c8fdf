#include "session/Control.h"

#include "layout/TextMeasure.h"

#include <utility>

Control::Control(ControlKind kind, QString name, int index)
    : Kind(kind), Name(std::move(name)), Index(index)
{
}

void Control::setCaption(const QString& text)
{
    caption_ = text;
    if (AutoSize && measure_ != nullptr) {
        const QSizeF extent = measure_->measure(text, Font);
        const float border = BorderSingle ? 2.0F * TwipsPerPixel : 0.0F;
        Width = static_cast<float>(extent.width()) + border;
        Height = static_cast<float>(extent.height()) + border;
    }
}

QString Control::displayName() const
{
    return Index < 0 ? Name : QStringLiteral("%1(%2)").arg(Name, QString::number(Index));
}
