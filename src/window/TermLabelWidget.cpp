#include "window/TermLabelWidget.h"

#include <QKeyEvent>
#include <QPainter>

TermLabelWidget::TermLabelWidget(QWidget* parent) : LabelWidget(parent)
{
    // Tab reaches the terms; a click leaves the focus where it is, so the
    // mouse works exactly as on a label that takes no focus.
    setFocusPolicy(Qt::TabFocus);
}

int TermLabelWidget::keyCode(const QKeyEvent& event)
{
    const int key = event.key();
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        const int base = event.modifiers().testFlag(Qt::KeypadModifier) ? 97 : 49;
        return base + (key - Qt::Key_1);
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    default:
        return -1;
    }
}

void TermLabelWidget::paintEvent(QPaintEvent* event)
{
    LabelWidget::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    // A dotted line inside the border in the label's own text colour keeps
    // the design colours of the term.
    QPainter p(this);
    QPen pen(foreground(), 1, Qt::DotLine);
    p.setPen(pen);
    p.drawRect(rect().adjusted(2, 2, -3, -3));
}

void TermLabelWidget::keyPressEvent(QKeyEvent* event)
{
    if (key_ && key_(event)) {
        event->accept();
        return;
    }
    LabelWidget::keyPressEvent(event);
}

void TermLabelWidget::focusInEvent(QFocusEvent* event)
{
    LabelWidget::focusInEvent(event);
    update();
}

void TermLabelWidget::focusOutEvent(QFocusEvent* event)
{
    LabelWidget::focusOutEvent(event);
    update();
    if (focusOut_) {
        focusOut_();
    }
}
