#pragma once

#include <QtGlobal>

class MainScreen;
class Control;

// Answering without a drag: a term is put into a frame, or picked up,
// carried between the frames and put down; either way it lands as a drop at
// the frame's first empty slot would. The session's verbs check that the
// term may move before these run.

// Which way a picked-up term is carried from frame to frame.
enum class Direction { Left, Right, Up, Down };

// The term picked up, if any, and the frame it would go to.
struct TermCarry {
    int term = -1; // no term carried
    int frame = 0;
    quint32 backColor = 0; // the label's colour before it was picked up
    bool operator==(const TermCarry&) const = default;
};

// Picks term `index` up where it lies, its frame highlighted.
void TermCarryPickUp(MainScreen& screen, int index);
// Puts a carried term back as it was, its colour included.
void TermCarryCancel(MainScreen& screen);
// Carries the picked-up term on to the frame that way.
void TermCarryMove(MainScreen& screen, Direction direction);
// Puts the picked-up term down in the frame it was carried to; the focus
// goes on to the next term in no frame.
void TermCarryPutDown(MainScreen& screen);
// Puts term `index` into `frame`; the focus goes on to the next term in no
// frame.
void PlaceTerm(MainScreen& screen, int index, int frame);
// Where the keyboard focus belongs after a drop of term `index` (with
// `toNextTerm`, on the next term that lies in no frame); nullptr to leave it.
const Control* FocusAfterDrop(const MainScreen& screen, int index, bool toNextTerm);
