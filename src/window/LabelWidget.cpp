#include "window/LabelWidget.h"

#include "measure/JapaneseFonts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTextOption>

LabelWidget::LabelWidget(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    // Every pixel is painted here; nothing behind needs repainting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LabelWidget::setText(const QString& text)
{
    if (text != text_) {
        text_ = text;
        update();
    }
}

void LabelWidget::setColors(const QColor& back, const QColor& fore)
{
    if (back != back_ || fore != fore_) {
        back_ = back;
        fore_ = fore;
        update();
    }
}

void LabelWidget::setBorder(bool single)
{
    if (single != border_) {
        border_ = single;
        update();
    }
}

void LabelWidget::setWordWrap(bool wrap)
{
    if (wrap != wrap_) {
        wrap_ = wrap;
        update();
    }
}

void LabelWidget::setTextFont(const QFont& font)
{
    if (font != this->font()) {
        setFont(font);
        update();
    }
}

void LabelWidget::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), back_);
    QRect textRect = rect();
    if (border_) {
        // Filled one-pixel strips rather than a line: at a fractional scale
        // a line on the widget's edge falls on the device pixel the widget
        // shares with its neighbour and is lost, while a strip always
        // covers a whole device pixel inside the widget.
        const qreal w = width();
        const qreal h = height();
        p.fillRect(QRectF(0, 0, w, 1), Qt::black);
        p.fillRect(QRectF(0, h - 1, w, 1), Qt::black);
        p.fillRect(QRectF(0, 0, 1, h), Qt::black);
        p.fillRect(QRectF(w - 1, 0, 1, h), Qt::black);
        textRect.adjust(1, 1, -1, -1);
    }
    p.setPen(isEnabled() ? fore_ : palette().color(QPalette::Disabled, QPalette::WindowText));
    p.setFont(font());
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    // Japanese has no spaces to break at: break between any two characters
    // where no word boundary is at hand.
    option.setWrapMode(wrap_ ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    p.setClipRect(textRect);
    JapaneseFonts::drawText(p, QRectF(textRect), text_, option);
}

void LabelWidget::mousePressEvent(QMouseEvent* event)
{
    forward(MouseAction::Press, event);
}

void LabelWidget::mouseMoveEvent(QMouseEvent* event)
{
    forward(MouseAction::Move, event);
}

void LabelWidget::mouseReleaseEvent(QMouseEvent* event)
{
    forward(MouseAction::Release, event);
}

void LabelWidget::forward(MouseAction action, QMouseEvent* event)
{
    event->accept();
    if (mouse_) {
        mouse_(action, event);
    }
}
