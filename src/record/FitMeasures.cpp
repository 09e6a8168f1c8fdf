#include "record/FitMeasures.h"

#include "record/FsrsFit.h"
#include "record/FsrsModel.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace FitMeasures
{

namespace
{

// x's power of `base` rounded down, scaled, to a whole number: the
// reference's log-scale bins.
quint64 logBin(double x, double base, double scale)
{
    if (x <= 0) {
        return 0;
    }
    return quint64(std::llround(scale * std::pow(base, std::floor(std::log(x) / std::log(base)))));
}

quint64 binOf(int days, qsizetype reviewsSoFar, int lapses)
{
    const quint64 byDays = logBin(days, 3.62, 248);
    const quint64 byLength = logBin(double(reviewsSoFar), 1.89, 1.99);
    const quint64 byLapses = logBin(lapses, 1.73, 1.65);
    return byDays << 32 | byLength << 16 | byLapses;
}

} // namespace

QList<Prediction> predict(const QList<ReviewCard>& cards, const Fsrs::Weights& w)
{
    const Fsrs::Model::Formulas<double, Fsrs::Model::Unrounded> f(w, {});
    QList<Prediction> out;
    out.reserve(FsrsFit::predictedReviews(cards));
    for (const ReviewCard& c : cards) {
        int lapses = 0;
        Fsrs::Model::replay(f, c.steps, c.steps.size(), [&](qsizetype i, double r) {
            const ReviewStep& step = c.steps[i];
            // Reviews so far count this one, as the reference counts them.
            out.append({r, step.grade > 1, binOf(step.elapsedDays, i + 1, lapses)});
            lapses += step.grade == 1 ? 1 : 0;
        });
    }
    return out;
}

Measure measure(const QList<Prediction>& predictions)
{
    struct Group {
        double predicted = 0, recalled = 0, reviews = 0;
    };
    QHash<quint64, Group> groups;
    double loss = 0;
    for (const Prediction& p : predictions) {
        const double r = std::clamp(p.recall, 1e-9, 1 - 1e-9);
        loss -= std::log(p.recalled ? r : 1 - r);
        Group& g = groups[p.bin];
        g.predicted += p.recall;
        g.recalled += p.recalled ? 1 : 0;
        g.reviews += 1;
    }
    Measure m;
    m.reviews = predictions.size();
    if (m.reviews == 0) {
        return m;
    }
    double squares = 0;
    for (const Group& g : std::as_const(groups)) {
        squares += std::pow(g.predicted / g.reviews - g.recalled / g.reviews, 2) * g.reviews;
    }
    m.logLoss = loss / double(m.reviews);
    m.rmseBins = std::sqrt(squares / double(m.reviews));
    return m;
}

QList<Bin> calibration(const QList<Prediction>& predictions)
{
    QList<Bin> bins(10);
    for (int i = 0; i < 10; ++i) {
        bins[i].from = i / 10.0;
        bins[i].to = (i + 1) / 10.0;
    }
    for (const Prediction& p : predictions) {
        Bin& b = bins[std::clamp(int(p.recall * 10), 0, 9)];
        ++b.reviews;
        b.predicted += p.recall;
        b.recalled += p.recalled ? 1 : 0;
    }
    for (Bin& b : bins) {
        if (b.reviews > 0) {
            b.predicted /= double(b.reviews);
            b.recalled /= double(b.reviews);
        }
    }
    return bins;
}

HeldOut heldOut(const QList<ReviewCard>& cards, const QStringList& learners, int folds)
{
    HeldOut out;
    if (learners.size() < 2) {
        return out;
    }
    out.folds = int(std::min<qsizetype>(folds, learners.size()));
    // Each learner's fold, by the learner's place among the names.
    QList<int> byName(learners.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(),
              [&learners](int a, int b) { return learners[a] < learners[b]; });
    QList<int> foldOf(learners.size());
    for (qsizetype rank = 0; rank < byName.size(); ++rank) {
        foldOf[byName[rank]] = int(rank % out.folds);
    }
    QList<Prediction> defaults, fitted;
    for (int fold = 0; fold < out.folds; ++fold) {
        QList<ReviewCard> learnt, measured;
        for (const ReviewCard& c : cards) {
            (foldOf[c.learner] == fold ? measured : learnt).append(c);
        }
        defaults += predict(measured, Fsrs::DefaultWeights);
        fitted += predict(measured, FsrsFit::fit(learnt));
    }
    out.defaults = measure(defaults);
    out.fitted = measure(fitted);
    return out;
}

QList<int> forecast(const QList<ReviewCard>& cards, const Fsrs::Parameters& parameters, QDate today,
                    int days)
{
    const Fsrs::Scheduler scheduler(parameters);
    std::mt19937_64 random(20261208);
    const auto noonOf = [&today](qint64 day) {
        return QDateTime(today.addDays(day), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
    };
    QList<int> due(days, 0);
    for (const ReviewCard& c : cards) {
        Fsrs::Card card;
        for (const ReviewStep& step : c.steps) {
            card = scheduler.review(card, Fsrs::Rating(step.grade), step.clockMs);
        }
        qint64 day = today.daysTo(LearnerDays::dayOfClock(card.lastReviewMs)) + card.intervalDays;
        while (card.reps > 0 && (day = std::max<qint64>(day, 0)) < days) {
            ++due[day];
            const qint64 at = noonOf(day);
            const double draw = double(random() >> 11) * 0x1.0p-53;
            const bool recalled = draw < scheduler.recall(card, at);
            card = scheduler.review(card, recalled ? Fsrs::Rating::Good : Fsrs::Rating::Again, at);
            day += card.intervalDays;
        }
    }
    return due;
}

} // namespace FitMeasures
