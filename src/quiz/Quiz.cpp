#include "quiz/Quiz.h"

#include <algorithm>

Quiz::Quiz(const Problem& problem, int previousRight)
    : terms_(std::min<int>(static_cast<int>(problem.terms.size()), MaxTerms)),
      frames_(std::min<int>(static_cast<int>(problem.groups.size()), MaxFrames)), open_(true),
      previousRight_(previousRight)
{
    for (int i = 0; i < terms_; ++i) {
        // A term without an answer belongs to no frame.
        answer_.at(i) = problem.groupOfTerm.value(i, 0) - 1;
    }
}

int Quiz::frameOf(int term) const
{
    for (int c = 0; c < frames_; ++c) {
        if (slots_.at(c).contains(term)) {
            return c;
        }
    }
    return -1;
}

const QList<int>& Quiz::termsIn(int frame) const
{
    static const QList<int> none;
    return isFrame(frame) ? slots_.at(frame) : none;
}

void Quiz::takeBack(int term)
{
    const int frame = frameOf(term);
    liftedTerm_ = term;
    liftedFrame_ = frame;
    liftedSlot_ = frame < 0 ? -1 : static_cast<int>(slots_.at(frame).indexOf(term));
    if (frame >= 0) {
        slots_.at(frame).removeAt(liftedSlot_);
    }
}

int Quiz::slotFor(int term, int frame) const
{
    if (term == liftedTerm_ && frame == liftedFrame_) {
        return liftedSlot_;
    }
    const QList<int>& slots = termsIn(frame);
    return static_cast<int>(slots.contains(term) ? slots.indexOf(term) : slots.size());
}

int Quiz::place(int term, int frame)
{
    if (!open_ || !isTerm(term) || !isFrame(frame)) {
        return -1;
    }
    const int slot = slotFor(term, frame);
    if (frameOf(term) != frame) {
        takeBack(term);
        slots_.at(frame).insert(slot, term);
    }
    liftedTerm_ = -1;
    return slot;
}

bool Quiz::allPlaced() const
{
    qsizetype placed = 0;
    for (int c = 0; c < frames_; ++c) {
        placed += slots_.at(c).size();
    }
    return placed >= terms_;
}

Quiz::Check Quiz::check()
{
    Check result;
    for (int c = 0; c < frames_; ++c) {
        for (const int term : slots_.at(c)) {
            if (answer_.at(term) == c) {
                result.isRight.at(term) = true;
                ++result.right;
            }
        }
    }
    if (result.right == terms_) {
        result.outcome = Outcome::Solved;
        open_ = false;
    } else {
        if (previousRight_ == 0) {
            result.outcome = Outcome::Wrong;
        } else if (result.right > previousRight_) {
            result.outcome = Outcome::MoreRight;
        } else {
            result.outcome =
                result.right == previousRight_ ? Outcome::SameRight : Outcome::FewerRight;
        }
        previousRight_ = result.right;
    }
    return result;
}

Quiz::State Quiz::state() const
{
    return {slots_, liftedTerm_, liftedFrame_, liftedSlot_, previousRight_, open_};
}

bool Quiz::restore(const State& s)
{
    // Every term at most once, in a frame the problem has.
    std::array<bool, MaxTerms> seen{};
    for (int c = 0; c < MaxFrames; ++c) {
        for (const int term : s.slots.at(c)) {
            if ((!s.slots.at(c).isEmpty() && !isFrame(c)) || !isTerm(term) || seen.at(term)) {
                return false;
            }
            seen.at(term) = true;
        }
    }
    slots_ = s.slots;
    liftedTerm_ = s.liftedTerm;
    liftedFrame_ = s.liftedFrame;
    liftedSlot_ = s.liftedSlot;
    previousRight_ = std::max(0, s.previousRight);
    open_ = s.open;
    return true;
}
