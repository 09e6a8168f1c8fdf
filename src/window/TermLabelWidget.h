#pragma once

#include "window/LabelWidget.h"

#include <functional>

class QKeyEvent;

// A term label: a label that also takes the keyboard focus through Tab and
// shows a dotted focus mark inside its border while it has it.
class TermLabelWidget : public LabelWidget
{
    Q_OBJECT

public:
    // Returns whether the key was used.
    using KeyHandler = std::function<bool(QKeyEvent*)>;

    explicit TermLabelWidget(QWidget* parent = nullptr);

    void setKeyHandler(KeyHandler handler) { key_ = std::move(handler); }
    void setFocusOutHandler(std::function<void()> handler) { focusOut_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    KeyHandler key_;
    std::function<void()> focusOut_;
};
