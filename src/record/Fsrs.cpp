#include "record/Fsrs.h"

#include <algorithm>
#include <cmath>

namespace Fsrs
{

namespace
{

constexpr qint64 DayMs = 86400000;
constexpr double MinStability = 0.001;
constexpr double MaxStability = 36500;

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

double clamp(double v, double lo, double hi)
{
    return std::min(std::max(v, lo), hi);
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

Scheduler::Scheduler(Parameters p) : p_(p), decay_(-p.w[20])
{
    factor_ = round8(std::exp(std::pow(decay_, -1.0) * std::log(0.9)) - 1);
    intervalModifier_ = round8((std::pow(p_.retention, 1 / decay_) - 1) / factor_);
    easyDifficulty_ = initialDifficulty(Rating::Easy);
    growthBase_ = std::exp(p_.w[8]);
}

double Scheduler::forgettingCurve(double elapsedDays, double stability) const
{
    return round8(std::pow(1 + factor_ * elapsedDays / stability, decay_));
}

double Scheduler::initialDifficulty(Rating g) const
{
    return round8(p_.w[4] - std::exp((grade(g) - 1) * p_.w[5]) + 1);
}

double Scheduler::nextDifficulty(const Card& card, Rating g) const
{
    const auto& w = p_.w;
    if (card.reps == 0) {
        return clamp(initialDifficulty(g), 1, 10);
    }
    const double d = card.difficulty;
    const double delta = -w[6] * (grade(g) - 3);
    // Linear damping: the nearer to 10, the smaller the step.
    const double next = d + round8(delta * (10 - d) / 9);
    const double reverted = round8(w[7] * easyDifficulty_ + (1 - w[7]) * next);
    return clamp(reverted, 1, 10);
}

// Stability after each of the four ratings, Again first: every one is needed
// because the intervals are kept in the ratings' order.
std::array<double, 4> Scheduler::nextStabilities(const Card& card, int elapsedDays) const
{
    const auto& w = p_.w;
    if (card.reps == 0) {
        return {std::max(w[0], 0.1), std::max(w[1], 0.1), std::max(w[2], 0.1), std::max(w[3], 0.1)};
    }
    const double s = card.stability;
    const double d = card.difficulty;
    const double r = forgettingCurve(elapsedDays, s);
    const double forgotten = round8(clamp(
        w[11] * std::pow(d, -w[12]) * (std::pow(s + 1, w[13]) - 1) * std::exp((1 - r) * w[14]),
        MinStability, MaxStability));
    const double growth =
        growthBase_ * (11 - d) * std::pow(s, -w[9]) * (std::exp((1 - r) * w[10]) - 1);
    const auto recalled = [&](double bonus) {
        return round8(clamp(s * (1 + growth * bonus), MinStability, MaxStability));
    };
    // A lapse never raises stability. Hard is held back, Easy pushed on.
    return {clamp(round8(s), MinStability, forgotten), recalled(w[15]), recalled(1),
            recalled(w[16])};
}

int Scheduler::nextInterval(double stability) const
{
    const double days = std::max(1.0, roundHalfUp(stability * intervalModifier_));
    return int(std::min(days, double(p_.maximumInterval)));
}

Card Scheduler::review(const Card& card, Rating rating, qint64 atMs) const
{
    // A clock set back makes a later answer look earlier: count it as the same day.
    const int elapsed =
        card.reps == 0 ? 0 : std::max(0, calendarDaysBetween(card.lastReviewMs, atMs));
    const std::array<double, 4> next = nextStabilities(card, elapsed);
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
    return forgettingCurve(double(days), card.stability);
}

} // namespace Fsrs
