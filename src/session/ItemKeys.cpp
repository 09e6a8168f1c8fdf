#include "session/ItemKeys.h"

#include "session/SoundCues.h"
#include "session/ItemDrop.h"
#include "session/MainScreen.h"

#include <algorithm>
#include <cmath>

namespace
{

int framesInUse(const MainScreen& form)
{
    return form.quiz.frames();
}

// An item the keys may act on: shown, on a problem that takes answers, and
// not in the middle of a mouse drag.
bool canAnswer(const MainScreen& form, int index)
{
    const SeriesState& st = form.state;
    return index >= 0 && index < form.quiz.terms() && form.quiz.open() && !st.dragging &&
           form.terms.at(index).Visible;
}

// The frame a digit key names (0 for "1"), or -1.
int frameOfDigit(int keyCode)
{
    for (int base : {ItemKeys::Digit1, ItemKeys::Numpad1}) {
        if (keyCode >= base && keyCode < base + SeriesState::MaxGroups) {
            return keyCode - base;
        }
    }
    return -1;
}

float centreX(const Control& c)
{
    return c.Left + c.Width / 2.0F;
}
float centreY(const Control& c)
{
    return c.Top + c.Height / 2.0F;
}

// The frame an arrow key leads to from frame `from`. Left and Right step
// through the frames in caption order, wrapping at both ends: every layout
// fills its rows left to right in that order, and a lower row lies a few
// twips left of the upper one, so a nearest-frame search would take the row
// above for "ahead". Up and Down go to the nearest frame that way, if any.
int frameInDirection(const MainScreen& form, int from, int key)
{
    const int frames = framesInUse(form);
    if (frames == 0) {
        return from;
    }
    from = std::clamp(from, 0, frames - 1);
    if (key == ItemKeys::Left || key == ItemKeys::Right) {
        return (from + (key == ItemKeys::Left ? frames - 1 : 1)) % frames;
    }
    const Control& origin = form.frames.at(from);
    const float sign = key == ItemKeys::Up ? -1.0F : 1.0F;
    int best = -1;
    float bestScore = 0.0F;
    for (int c = 0; c < frames; ++c) {
        const Control& f = form.frames.at(c);
        const float ahead = sign * (centreY(f) - centreY(origin));
        if (c == from || ahead <= 0.0F) {
            continue;
        }
        const float score = ahead + 2.0F * std::fabs(centreX(f) - centreX(origin));
        if (best < 0 || score < bestScore) {
            best = c;
            bestScore = score;
        }
    }
    return best >= 0 ? best : from;
}

void dropAndMoveFocus(MainScreen& form, int index, int frame)
{
    if (ItemKeyDrop(form, index, frame)) {
        form.focusRequest = FocusAfterDrop(form, index, true);
    }
}

} // namespace

int FrameOfItem(const MainScreen& form, int index)
{
    return form.quiz.frameOf(index);
}

bool ItemKeyDrop(MainScreen& form, int index, int frame)
{
    if (!canAnswer(form, index) || frame < 0 || frame >= framesInUse(form)) {
        return false;
    }
    SoundCues::rewindAll(form.players);
    form.quiz.takeBack(index);
    DropItem(form, index, frame);
    return true;
}

bool ItemCarryPickUp(MainScreen& form, int index)
{
    if (!canAnswer(form, index) || framesInUse(form) == 0) {
        return false;
    }
    Control& label = form.terms.at(index);
    form.carry.item = index;
    form.carry.frame = std::max(FrameOfItem(form, index), 0);
    form.carry.backColor = label.BackColor;
    label.BackColor = Colors::White;
    return true;
}

void ItemCarryCancel(MainScreen& form)
{
    const ItemCarry carry = form.carry;
    form.carry = ItemCarry{};
    const int index = carry.item;
    if (index < 0 || index >= SeriesState::MaxItems) {
        return;
    }
    Control& label = form.terms.at(index);
    // Only a colour nothing else has changed since the pick-up is restored.
    if (label.BackColor == Colors::White) {
        label.BackColor = carry.backColor;
    }
}

bool ItemKeyDown(MainScreen& form, int index, int keyCode, int shift)
{
    if (!canAnswer(form, index) || shift != 0) {
        return false;
    }
    if (form.carry.item >= 0 && form.carry.item != index) {
        ItemCarryCancel(form);
    }
    const bool carried = form.carry.item == index;

    const int digit = frameOfDigit(keyCode);
    if (digit >= 0) {
        // A digit beyond the frames on the board does nothing.
        if (digit < framesInUse(form)) {
            ItemCarryCancel(form);
            dropAndMoveFocus(form, index, digit);
        }
        return true;
    }
    switch (keyCode) {
    case ItemKeys::Space:
    case ItemKeys::Enter:
        if (carried) {
            const int frame = form.carry.frame;
            ItemCarryCancel(form);
            dropAndMoveFocus(form, index, frame);
        } else {
            ItemCarryPickUp(form, index);
        }
        return true;
    case ItemKeys::Escape:
        if (carried) {
            ItemCarryCancel(form);
        }
        return carried;
    case ItemKeys::Left:
    case ItemKeys::Right:
    case ItemKeys::Up:
    case ItemKeys::Down:
        if (carried) {
            form.carry.frame = frameInDirection(form, form.carry.frame, keyCode);
        }
        return carried;
    default:
        return false;
    }
}

const Control* FocusAfterDrop(const MainScreen& form, int index, bool byKeyboard)
{
    if (!form.quiz.open()) {
        // Solved: "次の問題へ" when it is offered, else the first result
        // button in tab order.
        for (const Control& button : form.resultButtons) {
            if (button.Visible) {
                return &button;
            }
        }
        return nullptr;
    }
    if (!byKeyboard) {
        return nullptr;
    }
    const int items = form.quiz.terms();
    for (int step = 1; step <= items; ++step) {
        const int next = (index + step) % items;
        if (FrameOfItem(form, next) < 0 && form.terms.at(next).Visible) {
            return &form.terms.at(next);
        }
    }
    return nullptr;
}
