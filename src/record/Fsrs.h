#pragma once

#include <QtGlobal>

#include <array>

namespace Fsrs
{

enum class Rating { Again = 1, Hard = 2, Good = 3, Easy = 4 };

struct Card {
    double stability = 0;
    double difficulty = 0;
    int reps = 0;
    qint64 lastReviewMs = 0;
    int intervalDays = 0;
};

struct Parameters {
    std::array<double, 21> w{}; // FSRS-6 defaults
    double retention = 0.9;
    int maximumInterval = 36500;
};

class Scheduler
{
public:
    explicit Scheduler(Parameters p = {});
    Card review(const Card& card, Rating rating, qint64 atMs) const; // reps == 0: a new card
    double recall(const Card& card, qint64 atMs) const;              // predicted recall at atMs
    static qint64 dueMs(const Card& c)
    {
        return c.lastReviewMs + qint64(c.intervalDays) * 86400000;
    }
};

} // namespace Fsrs
