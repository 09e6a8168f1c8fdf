#include "record/Fsrs.h"

#include <algorithm>
#include <cmath>

namespace Fsrs
{

namespace
{

constexpr qint64 DayMs = 86400000;

// JavaScript's Math.round: halves go towards +infinity.
double roundHalfUp(double x)
{
    const double down = std::floor(x);
    return x - down >= 0.5 ? down + 1 : down;
}

// The reference keeps every value it computes to eight decimals; so must we,
// or intervals drift apart where a stability sits near a half day.
double round8(double x)
{
    return roundHalfUp(x * 1e8) / 1e8;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days between two reviews count UTC calendar days, not 24-hour periods:
// 23:50 and 00:10 the next day are a day apart.
int calendarDaysBetween(qint64 fromMs, qint64 toMs)
{
    return int(floorDiv(toMs, DayMs) - floorDiv(fromMs, DayMs));
}

int grade(Rating r)
{
    return int(r);
}

} // namespace

double Scheduler::Round8::operator()(double x) const
{
    return round8(x);
}

Scheduler::Scheduler(Parameters p) : p_(p), f_(p.w, Round8())
{
    intervalModifier_ = round8((std::pow(p_.retention, 1 / f_.decay()) - 1) / f_.factor());
}

double Scheduler::nextDifficulty(const Card& card, Rating g) const
{
    if (card.reps == 0) {
        return Model::clamped(f_.initialDifficulty(grade(g)), 1, 10);
    }
    return f_.nextDifficulty(card.difficulty, grade(g));
}

// Stability after each of the four ratings, Again first: every one is needed
// because the intervals are kept in the ratings' order.
std::array<double, 4> Scheduler::nextStabilities(const Card& card, int elapsedDays) const
{
    if (card.reps == 0) {
        return {f_.initialStability(1), f_.initialStability(2), f_.initialStability(3),
                f_.initialStability(4)};
    }
    const double s = card.stability;
    const double d = card.difficulty;
    const double r = f_.curve(elapsedDays, s);
    const double growth = f_.growth(s, d, r);
    return {f_.afterLapse(s, d, r), f_.afterRecall(s, growth, 2), f_.afterRecall(s, growth, 3),
            f_.afterRecall(s, growth, 4)};
}

int Scheduler::nextInterval(double stability) const
{
    const double days = std::max(1.0, roundHalfUp(stability * intervalModifier_));
    return int(std::min(days, double(p_.maximumInterval)));
}

int Scheduler::elapsedDays(const Card& card, qint64 atMs)
{
    // A clock set back makes a later answer look earlier: count it as the same day.
    return card.reps == 0 ? 0 : std::max(0, calendarDaysBetween(card.lastReviewMs, atMs));
}

Card Scheduler::review(const Card& card, Rating rating, qint64 atMs) const
{
    const std::array<double, 4> next = nextStabilities(card, elapsedDays(card, atMs));
    int days[4];
    for (int i = 0; i < 4; ++i) {
        days[i] = nextInterval(next[i]);
    }
    // A better rating always waits longer, even past the maximum interval.
    days[0] = std::min(days[0], days[1]);
    for (int i = 1; i < 4; ++i) {
        days[i] = std::max(days[i], days[i - 1] + 1);
    }
    const int i = grade(rating) - 1;
    return Card{next[i], nextDifficulty(card, rating), card.reps + 1, atMs, days[i]};
}

double Scheduler::recall(const Card& card, qint64 atMs) const
{
    if (card.reps == 0) {
        return 0;
    }
    // Unlike the days between reviews, recall counts whole 24-hour periods.
    const qint64 days = std::max<qint64>(floorDiv(atMs - card.lastReviewMs, DayMs), 0);
    return f_.curve(double(days), card.stability);
}

} // namespace Fsrs
