#pragma once

#include <QtGlobal>

class MainScreen;

// Answering with single clicks: a click on a term picks it up as the
// keyboard does, a click on a frame puts it down there, a click anywhere
// else puts it back. A press on a term lifts it for a drag at once; a
// release before the pointer has moved makes that press a click.
struct TermPress {
    int term = -1; // no press noted
    int frame = -1;
    float left = 0.0F;
    float top = 0.0F;
    quint32 backColor = 0;
    bool carried = false; // the term was picked up before the press
    bool operator==(const TermPress&) const = default;
};

// Notes what a press on term `index` is about to change, once a carry has
// been put back and before the drag lifts the term; `carried` when the
// term itself was picked up.
void TermPressNoted(MainScreen& screen, int index, bool carried);
// The press on term `index` was released without a move: it is undone and
// the term picked up, or, when it was already picked up, put back.
void TermClick(MainScreen& screen, int index);
// A click on frame `frame`, its caption included: a picked-up term goes
// there as the keyboard would put it.
void FrameClick(MainScreen& screen, int frame);
// A click on the board outside every frame and term: a picked-up term is
// put back.
void BoardClick(MainScreen& screen);
