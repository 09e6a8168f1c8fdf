#pragma once

#include <QtGlobal>

class MainScreen;

// Answering with single clicks: a click on an item picks it up as the
// keyboard does, a click on a frame puts it down there, a click anywhere
// else puts it back. A press on an item lifts it for a drag at once; a
// release before the pointer has moved makes that press a click.
struct ItemPress {
    int item = -1; // no press noted
    int frame = -1;
    float left = 0.0F;
    float top = 0.0F;
    quint32 backColor = 0;
    bool carried = false; // the item was picked up before the press
    bool operator==(const ItemPress&) const = default;
};

// Notes what a press on item `index` is about to change, once a carry has
// been put back and before the drag lifts the item; `carried` when the
// item itself was picked up.
void ItemPressNoted(MainScreen& screen, int index, bool carried);
// The press on item `index` was released without a move: it is undone and
// the item picked up, or, when it was already picked up, put back.
void ItemClick(MainScreen& screen, int index);
// A click on frame `frame`, its caption included: a picked-up item goes
// there as the keyboard would put it.
void FrameClick(MainScreen& screen, int frame);
// A click on the board outside every frame and item: a picked-up item is
// put back.
void BoardClick(MainScreen& screen);
