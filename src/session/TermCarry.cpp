#include "session/TermCarry.h"

#include "session/MainScreen.h"
#include "session/SoundCues.h"
#include "session/TermDrop.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{

float centreX(const Control& c)
{
    return c.Left + c.Width / 2.0F;
}
float centreY(const Control& c)
{
    return c.Top + c.Height / 2.0F;
}

// The frame a picked-up term is carried to from frame `from`. Left and
// Right step through the frames in caption order, wrapping at both ends:
// every layout fills its rows left to right in that order, and a lower row
// lies a few twips left of the upper one, so a nearest-frame search would
// take the row above for "ahead". Up and Down go to the nearest frame that
// way, if any.
int frameInDirection(const MainScreen& screen, int from, Direction way)
{
    const int frames = screen.quiz.frames();
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

// Drops term `index` into `frame` exactly as a drop at the frame's first
// empty slot would, and moves the keyboard on.
void dropAndMoveFocus(MainScreen& screen, int index, int frame)
{
    SoundCues::rewindAll(screen.players);
    screen.quiz.takeBack(index);
    DropTerm(screen, index, frame);
    screen.focusRequest = FocusAfterDrop(screen, index, true);
}

} // namespace

void TermCarryPickUp(MainScreen& screen, int index)
{
    Control& label = screen.terms.at(index);
    screen.carry.term = index;
    screen.carry.frame = std::max(screen.quiz.frameOf(index), 0);
    screen.carry.backColor = label.BackColor;
    label.BackColor = Colors::White;
}

void TermCarryCancel(MainScreen& screen)
{
    const TermCarry carry = std::exchange(screen.carry, TermCarry{});
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
    if (screen.carry.term >= 0) {
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
    TermCarryCancel(screen);
    dropAndMoveFocus(screen, index, frame);
}

const Control* FocusAfterDrop(const MainScreen& screen, int index, bool toNextTerm)
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
    if (!toNextTerm) {
        return nullptr;
    }
    const int terms = screen.quiz.terms();
    for (int step = 1; step <= terms; ++step) {
        const int next = (index + step) % terms;
        if (screen.quiz.frameOf(next) < 0 && screen.terms.at(next).Visible) {
            return &screen.terms.at(next);
        }
    }
    return nullptr;
}
