#include "window/PictureBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const QPixmap& picture)
{
    picture_ = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().color(QPalette::Button));
    p.drawPixmap(BorderPx, BorderPx, picture_);

    // Sunken: dark above and to the left, light below and to the right, in
    // two rings.
    const QColor outerDark(128, 128, 128);
    const QColor innerDark(64, 64, 64);
    const QColor outerLight(255, 255, 255);
    const QColor innerLight(212, 208, 200);
    // One-pixel strips, not lines, so that no side is lost at a fractional
    // scale.
    auto ring = [&p](const QRect& box, const QColor& dark, const QColor& light) {
        p.fillRect(QRect(box.left(), box.top(), box.width() - 1, 1), dark);
        p.fillRect(QRect(box.left(), box.top(), 1, box.height() - 1), dark);
        p.fillRect(QRect(box.left(), box.bottom(), box.width(), 1), light);
        p.fillRect(QRect(box.right(), box.top(), 1, box.height()), light);
    };
    ring(r, outerDark, outerLight);
    ring(r.adjusted(1, 1, -1, -1), innerDark, innerLight);
    if (hasFocus()) {
        // A dotted mark inside the border, as on the term labels.
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(r.adjusted(BorderPx + 1, BorderPx + 1, -BorderPx - 2, -BorderPx - 2));
    }
}

void PictureBox::keyPressEvent(QKeyEvent* event)
{
    // Enter and Space open the About window, as a click does.
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        event->modifiers() == Qt::NoModifier) {
        event->accept();
        if (click_) {
            click_();
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void PictureBox::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void PictureBox::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click && click_) {
        click_();
    }
}
