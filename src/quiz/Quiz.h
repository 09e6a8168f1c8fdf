#pragma once

#include "series/Problem.h"
#include "series/SeriesState.h"

#include <QList>

#include <algorithm>
#include <array>

// One problem being answered: which frame each term lies in, in which order,
// and the check of a complete answer. It knows no geometry: whether a frame
// has room for another term is the board layout's to say.
class Quiz
{
public:
    static constexpr int MaxTerms = SeriesState::MaxTerms;
    static constexpr int MaxFrames = SeriesState::MaxFrames;

    // What a check of a complete answer found. A wrong answer is compared
    // with the previous check that found wrong terms; Wrong when there was
    // none, or it found no right term.
    enum class Outcome { Solved, Wrong, MoreRight, SameRight, FewerRight };
    struct Check {
        Outcome outcome = Outcome::Wrong;
        int right = 0; // terms in their own frame
        std::array<bool, MaxTerms> isRight{};
    };

    // A quiz that takes no answers: nothing has been shown yet.
    Quiz() = default;
    // Terms and groups beyond those the board has are left out. The count
    // of the previous check is carried over from the problem before when
    // the learner moves on without leaving through the result panel.
    explicit Quiz(const Problem& problem, int previousRight = 0);

    int terms() const { return terms_; }
    int frames() const { return frames_; }
    // The frame (0-based) a term lies in, or -1.
    int frameOf(int term) const;
    // The frame a term belongs in, or -1.
    int answerOf(int term) const { return isTerm(term) ? answer_.at(term) : -1; }
    // The terms in a frame, top slot first.
    const QList<int>& termsIn(int frame) const;

    // Takes a term out of its frame, if it lies in one.
    void takeBack(int term);
    // The slot `place` would put a term into: back into its own slot when
    // it was just taken out of that frame, else below the frame's last term.
    int slotFor(int term, int frame) const;
    // Puts a term into a frame at slotFor(term, frame) and returns that
    // slot; -1 when the quiz takes no answers.
    int place(int term, int frame);
    bool allPlaced() const;

    // Whether terms may still be moved: a problem is open until solved.
    bool open() const { return open_; }
    // Checks the complete answer; a solved quiz takes no more answers.
    Check check();
    int previousRight() const { return previousRight_; }
    // The next wrong answer counts as the first.
    void forgetChecks() { previousRight_ = 0; }

    // Everything a quiz holds beyond its problem, so that a session can be
    // kept and taken up again.
    struct State {
        std::array<QList<int>, MaxFrames> slots;
        int liftedTerm = -1;
        int liftedFrame = -1;
        int liftedSlot = -1;
        int previousRight = 0;
        bool open = false;
        // Written out: Qt 6.4 compares two empty lists of ints with a null
        // memcmp, which the sanitizers stop.
        bool operator==(const State& o) const
        {
            const auto same = [](const QList<int>& a, const QList<int>& b) {
                return a.size() == b.size() && std::equal(a.cbegin(), a.cend(), b.cbegin());
            };
            return std::equal(slots.cbegin(), slots.cend(), o.slots.cbegin(), same) &&
                   liftedTerm == o.liftedTerm && liftedFrame == o.liftedFrame &&
                   liftedSlot == o.liftedSlot && previousRight == o.previousRight && open == o.open;
        }
    };
    State state() const;
    // The quiz of `problem` as `state` left it; false (and a quiz as new)
    // when the state cannot belong to this problem.
    bool restore(const State& state);

private:
    bool isTerm(int term) const { return term >= 0 && term < terms_; }
    bool isFrame(int frame) const { return frame >= 0 && frame < frames_; }

    int terms_ = 0;
    int frames_ = 0;
    bool open_ = false;
    std::array<int, MaxTerms> answer_{}; // 0-based frame of each term, -1 for none
    std::array<QList<int>, MaxFrames> slots_;
    // The slot a term was last taken out of, so that putting it straight
    // back leaves its frame as it was.
    int liftedTerm_ = -1;
    int liftedFrame_ = -1;
    int liftedSlot_ = -1;
    int previousRight_ = 0;
};
