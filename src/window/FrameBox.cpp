#include "window/FrameBox.h"

#include <QFontMetrics>
#include <QPainter>

FrameBox::FrameBox(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FrameBox::setCaption(const QString& caption)
{
    if (caption != caption_) {
        caption_ = caption;
        update();
    }
}

void FrameBox::setColors(const QColor& back, const QColor& fore)
{
    if (back != back_ || fore != fore_) {
        back_ = back;
        fore_ = fore;
        update();
    }
}

void FrameBox::setCaptionFont(const QFont& font)
{
    if (font != this->font()) {
        setFont(font);
    }
}

void FrameBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), back_);

    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    const QRect box = rect().adjusted(0, lineY, -1, -1);
    // Etched: a grey line with a white one just inside and below it.
    p.setPen(QColor(128, 128, 128));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(Qt::white);
    p.drawRect(box.adjusted(1, 1, 0, 0));

    if (!caption_.isEmpty()) {
        const int captionLeft = 8;
        const QRect captionRect(captionLeft, 0, metrics.horizontalAdvance(caption_),
                                metrics.height());
        p.fillRect(captionRect, back_);
        p.setPen(fore_);
        p.setFont(font());
        p.drawText(captionRect, Qt::AlignLeft | Qt::AlignTop, caption_);
    }
}
