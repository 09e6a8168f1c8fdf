#include "window/SeriesListWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>

SeriesListWidget::SeriesListWidget(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::StrongFocus);
    // Long titles are cut at the edge, not shortened with an ellipsis.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
}

int SeriesListWidget::selectedRow() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void SeriesListWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        if (onEnter) {
            onEnter(event->modifiers());
        }
        return;
    }
    // With nothing selected yet, the first arrow key selects the first
    // entry rather than the one after the focus mark.
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && selectedRow() < 0 && count() > 0) {
        event->accept();
        setCurrentRow(0);
        return;
    }
    QListWidget::keyPressEvent(event);
}

void SeriesListWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) != nullptr &&
        onDoubleClick) {
        onDoubleClick();
    }
}
