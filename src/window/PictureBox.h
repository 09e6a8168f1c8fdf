#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

// A picture box: a two-pixel sunken 3-D border around a picture. A click is
// a press and a release of the left button inside it, or Enter or Space
// while it has the focus, which a dotted mark shows.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BorderPx = 2;

    explicit PictureBox(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    void setClickHandler(std::function<void()> handler) { click_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPixmap picture_;
    std::function<void()> click_;
    bool pressed_ = false;
};
