#include "session/TermKeys.h"

#include "session/MainScreen.h"
#include "session/SoundCues.h"
#include "session/TermDrop.h"

#include <algorithm>
#include <cmath>

namespace
{

int framesInUse(const MainScreen& screen)
{
    return screen.quiz.frames();
}

// A term the keys may act on: shown, on a problem that takes answers, and
// not in the middle of a mouse drag.
bool canAnswer(const MainScreen& screen, int index)
{
    const SeriesState& st = screen.state;
    return index >= 0 && index < screen.quiz.terms() && screen.quiz.open() && !st.dragging &&
           screen.terms.at(index).Visible;
}

// The frame a digit key names (0 for "1"), or -1.
int frameOfDigit(int keyCode)
{
    for (int base : {TermKeys::Digit1, TermKeys::Numpad1}) {
        if (keyCode >= base && keyCode < base + SeriesState::MaxFrames) {
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
int frameInDirection(const MainScreen& screen, int from, Direction way)
{
    const int frames = framesInUse(screen);
    if (frames == 0) {
        return from;
    }
    from = std::clamp(from, 0, frames - 1);
    if (way == Direction::Left || way == Direction::Right) {
        return (from + (way == Direction::Left ? frames - 1 : 1)) % frames;
    }
    const Control& origin = screen.frames.at(from);
    const float sign = way == Direction::Up ? -1.0F : 1.0F;
    int best = -1;
    float bestScore = 0.0F;
    for (int c = 0; c < frames; ++c) {
        const Control& f = screen.frames.at(c);
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

void dropAndMoveFocus(MainScreen& screen, int index, int frame)
{
    if (TermKeyDrop(screen, index, frame)) {
        screen.focusRequest = FocusAfterDrop(screen, index, true);
    }
}

} // namespace

int FrameOfTerm(const MainScreen& screen, int index)
{
    return screen.quiz.frameOf(index);
}

bool TermKeyDrop(MainScreen& screen, int index, int frame)
{
    if (!canAnswer(screen, index) || frame < 0 || frame >= framesInUse(screen)) {
        return false;
    }
    SoundCues::rewindAll(screen.players);
    screen.quiz.takeBack(index);
    DropTerm(screen, index, frame);
    return true;
}

bool TermCarryPickUp(MainScreen& screen, int index)
{
    if (!canAnswer(screen, index) || framesInUse(screen) == 0) {
        return false;
    }
    Control& label = screen.terms.at(index);
    screen.carry.term = index;
    screen.carry.frame = std::max(FrameOfTerm(screen, index), 0);
    screen.carry.backColor = label.BackColor;
    label.BackColor = Colors::White;
    return true;
}

void TermCarryCancel(MainScreen& screen)
{
    const TermCarry carry = screen.carry;
    screen.carry = TermCarry{};
    const int index = carry.term;
    if (index < 0 || index >= SeriesState::MaxTerms) {
        return;
    }
    Control& label = screen.terms.at(index);
    // Only a colour nothing else has changed since the pick-up is restored.
    if (label.BackColor == Colors::White) {
        label.BackColor = carry.backColor;
    }
}

void TermCarryMove(MainScreen& screen, Direction direction)
{
    if (screen.carry.term >= 0 && canAnswer(screen, screen.carry.term)) {
        screen.carry.frame = frameInDirection(screen, screen.carry.frame, direction);
    }
}

void TermCarryPutDown(MainScreen& screen)
{
    const int index = screen.carry.term;
    const int frame = screen.carry.frame;
    TermCarryCancel(screen);
    if (index >= 0) {
        dropAndMoveFocus(screen, index, frame);
    }
}

void PlaceTerm(MainScreen& screen, int index, int frame)
{
    // A frame beyond those on the board does nothing.
    if (canAnswer(screen, index) && frame >= 0 && frame < framesInUse(screen)) {
        TermCarryCancel(screen);
        dropAndMoveFocus(screen, index, frame);
    }
}

bool TermKeyDown(MainScreen& screen, int index, int keyCode, int shift)
{
    if (!canAnswer(screen, index) || shift != 0) {
        return false;
    }
    if (screen.carry.term >= 0 && screen.carry.term != index) {
        TermCarryCancel(screen);
    }
    const bool carried = screen.carry.term == index;

    const int digit = frameOfDigit(keyCode);
    if (digit >= 0) {
        PlaceTerm(screen, index, digit);
        return true;
    }
    switch (keyCode) {
    case TermKeys::Space:
    case TermKeys::Enter:
        if (carried) {
            TermCarryPutDown(screen);
        } else {
            TermCarryPickUp(screen, index);
        }
        return true;
    case TermKeys::Escape:
        if (carried) {
            TermCarryCancel(screen);
        }
        return carried;
    case TermKeys::Left:
    case TermKeys::Right:
    case TermKeys::Up:
    case TermKeys::Down:
        if (carried) {
            TermCarryMove(screen, keyCode == TermKeys::Left    ? Direction::Left
                                  : keyCode == TermKeys::Right ? Direction::Right
                                  : keyCode == TermKeys::Up    ? Direction::Up
                                                               : Direction::Down);
        }
        return carried;
    default:
        return false;
    }
}

const Control* FocusAfterDrop(const MainScreen& screen, int index, bool byKeyboard)
{
    if (!screen.quiz.open()) {
        // Solved: "次の問題へ" when it is offered, else the first result
        // button in tab order.
        for (const Control& button : screen.resultButtons) {
            if (button.Visible) {
                return &button;
            }
        }
        return nullptr;
    }
    if (!byKeyboard) {
        return nullptr;
    }
    const int items = screen.quiz.terms();
    for (int step = 1; step <= items; ++step) {
        const int next = (index + step) % items;
        if (FrameOfTerm(screen, next) < 0 && screen.terms.at(next).Visible) {
            return &screen.terms.at(next);
        }
    }
    return nullptr;
}
