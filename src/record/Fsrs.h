#pragma once

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

struct Parameters {
    std::array<double, 21> w = {0.212,  1.2931, 2.3065, 8.2956, 6.4133, 0.8334, 3.0194,
                                0.001,  1.8722, 0.1666, 0.796,  1.4835, 0.0614, 0.2629,
                                1.6483, 0.6014, 1.8729, 0.5425, 0.0912, 0.0658, 0.1542};
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

private:
    double forgettingCurve(double elapsedDays, double stability) const;
    double initialDifficulty(Rating g) const;
    double nextDifficulty(const Card& card, Rating g) const;
    std::array<double, 4> nextStabilities(const Card& card, int elapsedDays) const;
    int nextInterval(double stability) const;

    Parameters p_;
    double decay_;
    double factor_;
    double intervalModifier_;
    double easyDifficulty_; // of a first Easy, where difficulty reverts to
    double growthBase_;     // e^w8
};

} // namespace Fsrs
