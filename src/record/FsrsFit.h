#pragma once

#include "record/ClassReviews.h"
#include "record/Fsrs.h"

#include <QList>

#include <array>

// FSRS-6's parameters fitted to a class's reviews the way the reference
// optimizer (fsrs-rs, with same-day steps off) fits them: the stabilities
// after a first rating (w0..w3) from each problem's first two reviews, then
// the rest by Adam on the log loss of every later review's predicted recall
// (recalled: rated above Again), recent reviews weighing more, with a pull
// back to the starting parameters and each parameter kept in its bounds.
// A problem's first review has no prediction; there are no same-day
// reviews, so w17..w19 (the same-day steps') are 0.
namespace FsrsFit
{

// Fewer reviews to learn from than this keep the defaults.
constexpr int MinimumReviews = 400;

struct Bound {
    double low, high;
};
// The reference optimizer's bounds.
extern const std::array<Bound, 21> Bounds;
bool inBounds(const Fsrs::Weights& w);

struct Settings {
    int epochs = 5;
    int batchSize = 512;        // reviews a step
    double learningRate = 4e-2; // at the first step; it falls as a cosine to 0
    double gamma = 1;           // how hard the parameters are pulled back
    int longestCard = 64;       // a problem's reviews learnt from
    quint64 seed = 2023;
};

// Reviews with a recall to predict: each problem's after its first.
qsizetype predictedReviews(const QList<ReviewCard>& cards);

// The parameters that predict the cards' reviews best; the defaults with
// fewer than MinimumReviews. The same cards give the same parameters.
Fsrs::Weights fit(const QList<ReviewCard>& cards, const Settings& settings = {});

// The stabilities after a first Again, Hard, Good and Easy, from the recall
// at each problem's second review.
std::array<double, 4> initialStabilities(const QList<ReviewCard>& cards);

// The mean log loss of every predicted review, and its derivatives by the
// parameters the fit moves (0 for the others).
struct Loss {
    double value = 0;
    Fsrs::Weights gradient{};
};
Loss logLoss(const QList<ReviewCard>& cards, const Fsrs::Weights& w);

} // namespace FsrsFit
