#pragma once

#include <QColor>
#include <QWidget>

// A rectangle shape: optional fill and a border of a given width drawn inside
// its bounds. The mouse passes through it to whatever lies behind.
class ShapeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ShapeWidget(QWidget* parent = nullptr);

    void setLook(bool filled, const QColor& fill, const QColor& border, int borderWidthPx);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool filled_ = true;
    QColor fill_;
    QColor border_;
    int borderWidth_ = 1;
};
