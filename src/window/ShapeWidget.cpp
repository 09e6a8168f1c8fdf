#include "window/ShapeWidget.h"

#include <QPainter>

#include <algorithm>

ShapeWidget::ShapeWidget(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::setLook(bool filled, const QColor& fill, const QColor& border, int borderWidthPx)
{
    if (filled == filled_ && fill == fill_ && border == border_ && borderWidthPx == borderWidth_) {
        return;
    }
    filled_ = filled;
    fill_ = fill;
    border_ = border;
    borderWidth_ = borderWidthPx;
    // An unfilled shape lets the window show through its inside.
    setAttribute(Qt::WA_OpaquePaintEvent, filled_);
    update();
}

void ShapeWidget::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    const QRect r = rect();
    if (filled_) {
        p.fillRect(r, fill_);
    }
    const int b = std::min({borderWidth_, r.width() / 2 + 1, r.height() / 2 + 1});
    if (b <= 0) {
        return;
    }
    p.fillRect(QRect(r.left(), r.top(), r.width(), b), border_);
    p.fillRect(QRect(r.left(), r.bottom() - b + 1, r.width(), b), border_);
    p.fillRect(QRect(r.left(), r.top(), b, r.height()), border_);
    p.fillRect(QRect(r.right() - b + 1, r.top(), b, r.height()), border_);
}
