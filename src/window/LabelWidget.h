#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

#include <functional>

class QMouseEvent;

// A label: background, optional one-pixel black border and left-aligned text.
// It takes the mouse like any control, so presses on it never reach what lies
// behind.
class LabelWidget : public QWidget
{
    Q_OBJECT

public:
    enum class MouseAction { Press, Move, Release };
    using MouseHandler = std::function<void(MouseAction, QMouseEvent*)>;

    explicit LabelWidget(QWidget* parent = nullptr);

    void setText(const QString& text);
    void setColors(const QColor& back, const QColor& fore);
    void setBorder(bool single);
    // A label that sizes itself to its caption keeps it on one line; any
    // other wraps it at its width.
    void setWordWrap(bool wrap);
    void setTextFont(const QFont& font);
    void setMouseHandler(MouseHandler handler) { mouse_ = std::move(handler); }

    const QString& text() const { return text_; }
    const QColor& foreground() const { return fore_; }
    const QColor& background() const { return back_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void forward(MouseAction action, QMouseEvent* event);

    QString text_;
    QColor back_;
    QColor fore_;
    bool border_ = false;
    bool wrap_ = true;
    MouseHandler mouse_;
};
