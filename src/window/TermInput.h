#pragma once

#include "window/LabelWidget.h"

#include <QPoint>
#include <QPointF>

#include <functional>

class Control;
class MainWindow;
class QKeyEvent;
class QMouseEvent;
class Session;

// The learner's mouse and keys on the board, as the session's verbs. A
// press on a term lifts its label, which follows the pointer here in the
// window; the release puts the term where the label lies, or, when the
// pointer did not move, picks it up (a term picked up already is put back).
// A click on a frame puts the picked-up term there, one beside the frames
// puts it back. On a focused term, "1" to "6" put it in that frame, Space
// and Enter pick it up and put it down, the arrows carry it and Escape puts
// it back.
class TermInput
{
public:
    // Runs verbs of the session, then shows their effects.
    using Run = std::function<void(const std::function<void()>&)>;

    TermInput(Session& session, MainWindow& view, Run run);

    void termMouse(int term, LabelWidget::MouseAction action, QMouseEvent* event);
    // A press or release on the board at `at` (window pixels), outside the
    // terms: a click there goes to the frame under it or to the board.
    void boardMouse(LabelWidget::MouseAction action, QMouseEvent* event, QPoint at);
    // Returns whether the key was one for the term; others are left to the
    // window (Tab, for one).
    bool termKey(int term, QKeyEvent* event);
    // A term label lost the keyboard focus: a term picked up is put back.
    void termFocusLost(int term);
    // A term is being dragged.
    bool dragging() const { return drag_.term >= 0; }

private:
    void press(int term, QMouseEvent* event);
    void move(int term, QMouseEvent* event);
    void release(int term);
    // The frame whose area or caption holds `at`, or -1.
    int frameAt(QPoint at) const;
    const Control& label(int term) const;

    Session& session_;
    MainWindow& view_;
    Run run_;
    // The term pressed, from the press until the first release.
    struct Drag {
        int term = -1;
        QPointF pressedAt; // the pointer at the press, global pixels
        // The label's top-left corner at the press and now, in twips.
        float startLeft = 0.0F;
        float startTop = 0.0F;
        float left = 0.0F;
        float top = 0.0F;
        bool click = true;    // a single button, and no move yet
        bool carried = false; // the term was the one picked up
    };
    Drag drag_;
    static constexpr int NoBoardPress = -2;
    int boardPress_ = NoBoardPress; // the frame a board press went down on, or -1
};
