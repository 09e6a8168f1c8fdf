#include "session/TermClick.h"

#include "session/MainScreen.h"
#include "session/TermKeys.h"

#include <utility>

void TermPressNoted(MainScreen& screen, int index, bool carried)
{
    // A second button during a drag is no new press: the first one is kept.
    if (index < 0 || index >= screen.quiz.terms() || !screen.quiz.open() || screen.state.dragging) {
        return;
    }
    const Control& label = screen.terms.at(index);
    screen.press = TermPress{
        index, FrameOfTerm(screen, index), label.Left, label.Top, label.BackColor, carried};
}

void TermClick(MainScreen& screen, int index)
{
    const TermPress press = std::exchange(screen.press, TermPress{});
    if (press.term != index || !screen.state.dragging) {
        return;
    }
    // Undo the lift: the term stays where it lay, in its own slot.
    screen.state.dragging = false;
    Control& label = screen.terms.at(index);
    label.Left = press.left;
    label.Top = press.top;
    label.BackColor = press.backColor;
    if (press.frame >= 0) {
        screen.quiz.place(index, press.frame);
    }
    // A click on the term already picked up puts it back.
    if (!press.carried && TermCarryPickUp(screen, index)) {
        // The keys go on with the same carry, Escape included.
        screen.focusRequest = &label;
    }
}

void FrameClick(MainScreen& screen, int frame)
{
    const int index = screen.carry.term;
    TermCarryCancel(screen);
    if (index >= 0 && TermKeyDrop(screen, index, frame)) {
        screen.focusRequest = FocusAfterDrop(screen, index, true);
    }
}

void BoardClick(MainScreen& screen)
{
    TermCarryCancel(screen);
}
