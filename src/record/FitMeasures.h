#pragma once

#include "record/ClassReviews.h"
#include "record/Fsrs.h"

#include <QDate>
#include <QList>
#include <QStringList>

// How well parameters predict a class's reviews, measured as the reference
// optimizer measures them, and what they make of the class's next days.
namespace FitMeasures
{

// The recall predicted for one review, and what it was.
struct Prediction {
    double recall = 0;
    bool recalled = false;
    quint64 bin = 0; // its group for RMSE(bins)
};

// Every review's but each problem's first, in the cards' order.
QList<Prediction> predict(const QList<ReviewCard>& cards, const Fsrs::Weights& w);

struct Measure {
    double logLoss = 0;  // the mean over the reviews
    double rmseBins = 0; // see rmseBins()
    qsizetype reviews = 0;
};
// RMSE(bins): the reviews grouped, as the reference groups them, by the
// days since the review before, the problem's reviews so far and its
// lapses (each on a log scale); the root of the mean square of each group's
// predicted recall less its share recalled, groups weighed by their reviews.
Measure measure(const QList<Prediction>& predictions);

// Predicted recall in ten bins of a tenth each (the last holding 1.0):
// how many reviews, their mean predicted recall and the share recalled.
struct Bin {
    double from = 0, to = 0;
    qsizetype reviews = 0;
    double predicted = 0, recalled = 0;
};
QList<Bin> calibration(const QList<Prediction>& predictions);

// Fitted on some learners, measured on the others: learners by name, dealt
// in turn to `folds` groups (fewer with fewer learners), each group's
// reviews predicted by parameters fitted to everyone else's. No folds with
// fewer than two learners.
struct HeldOut {
    int folds = 0;
    Measure defaults, fitted;
};
HeldOut heldOut(const QList<ReviewCard>& cards, const QStringList& learners, int folds = 5);

// The reviews due on each of the `days` days from `today` (overdue ones on
// the first) under `parameters`, each review recalled by a seeded draw at
// its predicted recall (Good) or not (Again). Problems begun only.
QList<int> forecast(const QList<ReviewCard>& cards, const Fsrs::Parameters& parameters, QDate today,
                    int days = 30);

} // namespace FitMeasures
