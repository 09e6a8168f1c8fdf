#pragma once

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>

// The formulas of FSRS-6, written once for two kinds of numbers: the
// scheduler's doubles, kept to eight decimals where the reference scheduler
// keeps them (`round`), and the fit's numbers that carry their derivatives
// by the parameters (FsrsDual), left unrounded.
namespace Fsrs::Model
{

constexpr double MinStability = 0.001;
constexpr double MaxStability = 36500;

inline double valueOf(double x)
{
    return x;
}

template <class T> T clamped(const T& v, double lo, double hi)
{
    if (valueOf(v) < lo) {
        return T(lo);
    }
    return valueOf(v) > hi ? T(hi) : v;
}

template <class T> const T& smaller(const T& a, const T& b)
{
    return valueOf(b) < valueOf(a) ? b : a;
}

// Ratings by their grade: 1 Again, 2 Hard, 3 Good, 4 Easy.
template <class T, class Round> class Formulas
{
public:
    Formulas(const std::array<T, 21>& w, Round round) : w_(w), round_(round), decay_(-w[20])
    {
        using std::exp;
        using std::pow;
        factor_ = round_(exp(pow(decay_, -1.0) * std::log(0.9)) - 1.0);
        easyDifficulty_ = initialDifficulty(4);
        growthBase_ = exp(w_[8]);
    }

    const T& decay() const { return decay_; }
    const T& factor() const { return factor_; }

    // Recall after `days` at stability `s`.
    T curve(double days, const T& s) const
    {
        using std::pow;
        return round_(pow(1.0 + factor_ * days / s, decay_));
    }

    T initialStability(int grade) const
    {
        const T& w = w_[std::size_t(grade - 1)];
        return valueOf(w) < 0.1 ? T(0.1) : w;
    }

    T initialDifficulty(int grade) const
    {
        using std::exp;
        return round_(w_[4] - exp((grade - 1) * w_[5]) + 1.0);
    }

    // After a review of a card reviewed before.
    T nextDifficulty(const T& d, int grade) const
    {
        const T delta = -w_[6] * double(grade - 3);
        // Linear damping: the nearer to 10, the smaller the step.
        const T next = d + round_(delta * (10.0 - d) / 9.0);
        const T reverted = round_(w_[7] * easyDifficulty_ + (1.0 - w_[7]) * next);
        return clamped(reverted, 1, 10);
    }

    // A lapse never raises stability.
    T afterLapse(const T& s, const T& d, const T& r) const
    {
        using std::exp;
        using std::pow;
        const T forgotten = round_(clamped(w_[11] * pow(d, -w_[12]) * (pow(s + 1.0, w_[13]) - 1.0) *
                                               exp((1.0 - r) * w_[14]),
                                           MinStability, MaxStability));
        return smaller(clamped(round_(s), MinStability, MaxStability), forgotten);
    }

    // What a recall adds to stability, before the rating's bonus.
    T growth(const T& s, const T& d, const T& r) const
    {
        using std::exp;
        using std::pow;
        return growthBase_ * (11.0 - d) * pow(s, -w_[9]) * (exp((1.0 - r) * w_[10]) - 1.0);
    }

    // Hard is held back, Easy pushed on.
    T afterRecall(const T& s, const T& growth, int grade) const
    {
        const T grown = grade == 2   ? s * (1.0 + growth * w_[15])
                        : grade == 4 ? s * (1.0 + growth * w_[16])
                                     : s * (1.0 + growth);
        return round_(clamped(grown, MinStability, MaxStability));
    }

private:
    std::array<T, 21> w_;
    Round round_;
    T decay_;
    T factor_;
    T easyDifficulty_; // of a first Easy, where difficulty reverts to
    T growthBase_;     // e^w8
};

// Leaves a number as it is: the fit's numbers are not rounded.
struct Unrounded {
    template <class T> T operator()(T x) const { return x; }
};

// A problem's reviews (each with .grade and .elapsedDays) replayed from its
// first: `predicted(i, r)` is given the recall r predicted for review i
// (1, 2, ...) before that review is taken in; the first has none. At most
// `limit` reviews are replayed.
template <class T, class Round, class Steps, class Predicted>
void replay(const Formulas<T, Round>& f, const Steps& steps, qsizetype limit, Predicted&& predicted)
{
    const qsizetype n = std::min<qsizetype>(steps.size(), limit);
    if (n == 0) {
        return;
    }
    T s = f.initialStability(steps[0].grade);
    T d = clamped(f.initialDifficulty(steps[0].grade), 1, 10);
    for (qsizetype i = 1; i < n; ++i) {
        const int grade = steps[i].grade;
        const T r = f.curve(steps[i].elapsedDays, s);
        predicted(i, r);
        if (i + 1 == n) {
            break;
        }
        s = grade == 1 ? f.afterLapse(s, d, r) : f.afterRecall(s, f.growth(s, d, r), grade);
        d = f.nextDifficulty(d, grade);
    }
}

} // namespace Fsrs::Model
