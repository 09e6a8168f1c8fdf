#include "session/ItemClick.h"

#include "session/ItemKeys.h"
#include "session/MainScreen.h"

#include <utility>

void ItemPressNoted(MainScreen& screen, int index, bool carried)
{
    // A second button during a drag is no new press: the first one is kept.
    if (index < 0 || index >= SeriesState::MaxItems || !screen.quiz.open() || screen.state.dragging) {
        return;
    }
    const Control& label = screen.terms.at(index);
    screen.press =
        ItemPress{index, FrameOfItem(screen, index), label.Left, label.Top, label.BackColor, carried};
}

void ItemClick(MainScreen& screen, int index)
{
    const ItemPress press = std::exchange(screen.press, ItemPress{});
    if (press.item != index || !screen.state.dragging) {
        return;
    }
    // Undo the lift: the item stays where it lay, in its own slot.
    screen.state.dragging = false;
    Control& label = screen.terms.at(index);
    label.Left = press.left;
    label.Top = press.top;
    label.BackColor = press.backColor;
    if (press.frame >= 0) {
        screen.quiz.place(index, press.frame);
    }
    // A click on the item already picked up puts it back.
    if (!press.carried && ItemCarryPickUp(screen, index)) {
        // The keys go on with the same carry, Escape included.
        screen.focusRequest = &label;
    }
}

void FrameClick(MainScreen& screen, int frame)
{
    const int index = screen.carry.item;
    ItemCarryCancel(screen);
    if (index >= 0 && ItemKeyDrop(screen, index, frame)) {
        screen.focusRequest = FocusAfterDrop(screen, index, true);
    }
}

void BoardClick(MainScreen& screen)
{
    ItemCarryCancel(screen);
}
