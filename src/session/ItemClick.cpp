#include "session/ItemClick.h"

#include "session/ItemKeys.h"
#include "session/MainScreen.h"

#include <utility>

void ItemPressNoted(MainScreen& form, int index, bool carried)
{
    // A second button during a drag is no new press: the first one is kept.
    if (index < 0 || index >= SeriesState::MaxItems || !form.quiz.open() || form.state.dragging) {
        return;
    }
    const Control& label = form.terms.at(index);
    form.press =
        ItemPress{index, FrameOfItem(form, index), label.Left, label.Top, label.BackColor, carried};
}

void ItemClick(MainScreen& form, int index)
{
    const ItemPress press = std::exchange(form.press, ItemPress{});
    if (press.item != index || !form.state.dragging) {
        return;
    }
    // Undo the lift: the item stays where it lay, in its own slot.
    form.state.dragging = false;
    Control& label = form.terms.at(index);
    label.Left = press.left;
    label.Top = press.top;
    label.BackColor = press.backColor;
    if (press.frame >= 0) {
        form.quiz.place(index, press.frame);
    }
    // A click on the item already picked up puts it back.
    if (!press.carried && ItemCarryPickUp(form, index)) {
        // The keys go on with the same carry, Escape included.
        form.focusRequest = &label;
    }
}

void FrameClick(MainScreen& form, int frame)
{
    const int index = form.carry.item;
    ItemCarryCancel(form);
    if (index >= 0 && ItemKeyDrop(form, index, frame)) {
        form.focusRequest = FocusAfterDrop(form, index, true);
    }
}

void BoardClick(MainScreen& form)
{
    ItemCarryCancel(form);
}
