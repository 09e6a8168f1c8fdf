#pragma once

#include "record/FsrsModel.h"

#include <QtGlobal>

#include <array>

// FSRS-6 (Free Spaced Repetition Scheduler) with whole-day intervals and no
// same-day steps, computed exactly as the reference scheduler ts-fsrs 5 does
// with fuzz and short-term scheduling off, so that its results can be checked
// against it number for number.
namespace Fsrs
{

enum class Rating { Again = 1, Hard = 2, Good = 3, Easy = 4 };

struct Card {
    double stability = 0;  // days until recall falls to 90%
    double difficulty = 0; // 1..10
    int reps = 0;          // reviews so far; 0: a new card
    qint64 lastReviewMs = 0;
    int intervalDays = 0; // from the last review to the next
};

using Weights = std::array<double, 21>;

// FSRS-6's own parameters, fitted to flashcard reviews of single facts.
constexpr Weights DefaultWeights = {0.212,  1.2931, 2.3065, 8.2956, 6.4133, 0.8334, 3.0194,
                                    0.001,  1.8722, 0.1666, 0.796,  1.4835, 0.0614, 0.2629,
                                    1.6483, 0.6014, 1.8729, 0.5425, 0.0912, 0.0658, 0.1542};

struct Parameters {
    Weights w = DefaultWeights;
    double retention = 0.9; // the recall the intervals aim at
    int maximumInterval = 36500;
};

class Scheduler
{
public:
    explicit Scheduler(Parameters p = {});
    // reps == 0: a new card.
    Card review(const Card& card, Rating rating, qint64 atMs) const;
    // Predicted recall at atMs; 0 for a new card.
    double recall(const Card& card, qint64 atMs) const;
    static qint64 dueMs(const Card& c)
    {
        return c.lastReviewMs + qint64(c.intervalDays) * 86400000;
    }
    // Days from the card's last review to a review at atMs, as review()
    // counts them: UTC calendar days, 0 for a new card or a clock set back.
    static int elapsedDays(const Card& card, qint64 atMs);
    const Parameters& parameters() const { return p_; }

private:
    // Eight decimals, as the reference scheduler keeps every value.
    struct Round8 {
        double operator()(double x) const;
    };
    using Formulas = Model::Formulas<double, Round8>;

    double nextDifficulty(const Card& card, Rating g) const;
    std::array<double, 4> nextStabilities(const Card& card, int elapsedDays) const;
    int nextInterval(double stability) const;

    Parameters p_;
    Formulas f_;
    double intervalModifier_;
};

} // namespace Fsrs
