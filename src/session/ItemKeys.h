#pragma once

#include <QtGlobal>

class MainScreen;
class Control;

// Answering with the keyboard. A focused item label goes into a frame with a
// digit key, or is picked up, carried between the frames with the arrow keys
// and put down; either way it is dropped through the mouse's own release.
namespace ItemKeys
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
} // namespace ItemKeys

// The item picked up with the keyboard, if any, and the frame it would go to.
struct ItemCarry {
    int item = -1; // no item carried
    int frame = 0;
    quint32 backColor = 0; // the label's colour before it was picked up
    bool operator==(const ItemCarry&) const = default;
};

// Key down on the focused item label `index`. Returns whether the key was
// used; a key that is not is left to the window (Tab, for one).
bool ItemKeyDown(MainScreen& screen, int index, int keyCode, int shift);
// Drops item `index` into frame `frame` exactly as a mouse drop at the
// frame's first empty slot would. Returns whether a drop was made.
bool ItemKeyDrop(MainScreen& screen, int index, int frame);
// Picks item `index` up where it lies, its frame highlighted, as Space does;
// false when it cannot be answered now.
bool ItemCarryPickUp(MainScreen& screen, int index);
// Puts a carried item back as it was, its colour included.
void ItemCarryCancel(MainScreen& screen);
// Carries the picked-up item on to the frame that way (an arrow key code).
void ItemCarryMove(MainScreen& screen, int direction);
// Puts the picked-up item down in the frame it was carried to; the focus
// goes on to the next item in no frame.
void ItemCarryPutDown(MainScreen& screen);
// Puts item `index` into `frame` as a digit key does; the focus goes on to
// the next item in no frame.
void ItemPlace(MainScreen& screen, int index, int frame);
// The frame item `index` lies in, or -1.
int FrameOfItem(const MainScreen& screen, int index);
// Where the keyboard focus belongs after a drop of item `index` (with
// `byKeyboard`, on the next item that lies in no frame); nullptr to leave it.
const Control* FocusAfterDrop(const MainScreen& screen, int index, bool byKeyboard);
