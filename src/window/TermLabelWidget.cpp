#include "window/TermLabelWidget.h"

#include <QKeyEvent>
#include <QPainter>

TermLabelWidget::TermLabelWidget(QWidget* parent) : LabelWidget(parent)
{
    // Tab reaches the terms; a click leaves the focus where it is, so the
    // mouse works exactly as on a label that takes no focus.
    setFocusPolicy(Qt::TabFocus);
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
