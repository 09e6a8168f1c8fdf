#pragma once

#include <QtGlobal>

class MainScreen;
class Control;

// Answering with the keyboard. A focused term label goes into a frame with a
// digit key, or is picked up, carried between the frames with the arrow keys
// and put down; either way it is dropped through the mouse's own release.
namespace TermKeys
{
// Key codes as the window's key-down events give them.
constexpr int Enter = 13;
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int Left = 37;
constexpr int Up = 38;
constexpr int Right = 39;
constexpr int Down = 40;
constexpr int Digit1 = 49;  // "1" to "6" are 49..54
constexpr int Numpad1 = 97; // keypad "1" to "6" are 97..102
} // namespace TermKeys

// Which way a picked-up term is carried from frame to frame.
enum class Direction { Left, Right, Up, Down };

// The term picked up with the keyboard, if any, and the frame it would go to.
struct TermCarry {
    int term = -1; // no term carried
    int frame = 0;
    quint32 backColor = 0; // the label's colour before it was picked up
    bool operator==(const TermCarry&) const = default;
};

// Key down on the focused term label `index`. Returns whether the key was
// used; a key that is not is left to the window (Tab, for one).
bool TermKeyDown(MainScreen& screen, int index, int keyCode, int shift);
// Drops term `index` into frame `frame` exactly as a mouse drop at the
// frame's first empty slot would. Returns whether a drop was made.
bool TermKeyDrop(MainScreen& screen, int index, int frame);
// Picks term `index` up where it lies, its frame highlighted, as Space does;
// false when it cannot be answered now.
bool TermCarryPickUp(MainScreen& screen, int index);
// Puts a carried term back as it was, its colour included.
void TermCarryCancel(MainScreen& screen);
// Carries the picked-up term on to the frame that way (an arrow key code).
void TermCarryMove(MainScreen& screen, Direction direction);
// Puts the picked-up term down in the frame it was carried to; the focus
// goes on to the next term in no frame.
void TermCarryPutDown(MainScreen& screen);
// Puts term `index` into `frame` as a digit key does; the focus goes on to
// the next term in no frame.
void PlaceTerm(MainScreen& screen, int index, int frame);
// The frame term `index` lies in, or -1.
int FrameOfTerm(const MainScreen& screen, int index);
// Where the keyboard focus belongs after a drop of term `index` (with
// `byKeyboard`, on the next term that lies in no frame); nullptr to leave it.
const Control* FocusAfterDrop(const MainScreen& screen, int index, bool byKeyboard);
