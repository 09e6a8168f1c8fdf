#pragma once

#include <QListWidget>

#include <functional>

// The list box of problem series. Enter and a double-click on an entry are
// handed to the window; every other key moves the selection as usual.
class SeriesListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit SeriesListWidget(QWidget* parent = nullptr);

    // The selected row, -1 when nothing is selected.
    int selectedRow() const;

    std::function<void()> onDoubleClick;
    std::function<void(Qt::KeyboardModifiers)> onEnter;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
