#include "record/FsrsFit.h"
#include "record/ClassParameters.h"
#include "record/ClassReviews.h"
#include "record/FitMeasures.h"
#include "support/LocalZone.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{

constexpr qint64 Day = 86400000;

// A class that remembers as FSRS-6 with `truth` says, each learner
// reviewing when the default schedule says and beginning 3 problems a day.
QList<ReviewCard> rememberingClass(const Fsrs::Weights& truth, int learners, int days)
{
    const Fsrs::Scheduler memory(Fsrs::Parameters{truth}), schedule;
    std::mt19937_64 random(7);
    const auto chance = [&random] { return double(random() >> 11) * 0x1.0p-53; };
    QList<ReviewCard> cards;
    for (int l = 0; l < learners; ++l) {
        QList<std::pair<Fsrs::Card, Fsrs::Card>> known; // remembered, scheduled; beside cards
        const qsizetype first = cards.size();
        for (int d = 0; d < days; ++d) {
            const qint64 at = d * Day + 10 * 3600000;
            for (int n = 0; n < 3; ++n) {
                cards.append({l, QStringLiteral("S"), QString::number(cards.size()), {}});
                known.append({Fsrs::Card(), Fsrs::Card()});
            }
            for (qsizetype c = first; c < cards.size(); ++c) {
                auto& [remembered, scheduled] = known[c - first];
                if (scheduled.reps > 0 && Fsrs::Scheduler::dueMs(scheduled) > at) {
                    continue;
                }
                const double recall = remembered.reps == 0 ? 0.6 : memory.recall(remembered, at);
                const int grade = chance() >= recall ? 1 : chance() < 0.3 ? 2 : 3;
                cards[c].steps.append({at, Fsrs::Scheduler::elapsedDays(scheduled, at), grade});
                remembered = memory.review(remembered, Fsrs::Rating(grade), at);
                scheduled = schedule.review(scheduled, Fsrs::Rating(grade), at);
            }
        }
    }
    return cards;
}

const Fsrs::Weights Truth = {0.4, 0.9, 3.0,  10.0, 5.5, 1.1, 2.2,    0.02,   1.4,    0.25, 1.1,
                             1.9, 0.1, 0.35, 1.2,  0.5, 1.9, 0.5425, 0.0912, 0.0658, 0.3};

} // namespace

// The derivatives carried through every review agree with the loss's own
// slope, and the loss is the mean of the recalls the scheduler (checked
// against the reference) predicts.
TEST(FsrsFit, TheLossAndItsGradientAreThoseOfTheSchedulersRecall)
{
    const QList<ReviewCard> cards = rememberingClass(Truth, 3, 60);
    const FsrsFit::Loss at = FsrsFit::logLoss(cards, Truth);
    for (int i = 4; i <= 20; ++i) {
        Fsrs::Weights up = Truth, down = Truth;
        const double h = 1e-6;
        up[std::size_t(i)] += h;
        down[std::size_t(i)] -= h;
        const double slope =
            (FsrsFit::logLoss(cards, up).value - FsrsFit::logLoss(cards, down).value) / (2 * h);
        const double derivative = at.gradient[std::size_t(i)];
        if (i >= 17 && i <= 19) {
            EXPECT_EQ(derivative, 0) << "w" << i << " is not fitted";
            EXPECT_NEAR(slope, 0, 1e-9) << "w" << i << " plays no part without same-day reviews";
        } else {
            EXPECT_NEAR(derivative, slope, 1e-6 + 1e-4 * std::abs(slope)) << "w" << i;
        }
    }
    const Fsrs::Scheduler scheduler(Fsrs::Parameters{Truth});
    double loss = 0;
    qsizetype reviews = 0;
    for (const ReviewCard& c : cards) {
        Fsrs::Card card;
        for (const ReviewStep& step : c.steps) {
            if (card.reps > 0) {
                const double r = scheduler.recall(card, card.lastReviewMs + step.elapsedDays * Day);
                loss -= std::log(step.grade > 1 ? r : 1 - r);
                ++reviews;
            }
            card = scheduler.review(card, Fsrs::Rating(step.grade), step.clockMs);
        }
    }
    EXPECT_NEAR(at.value, loss / double(reviews), 1e-6);
}

// Fitted to a class that remembers otherwise than the defaults say, the
// parameters predict its reviews about as well as the true ones, on the
// same reviews and on learners held out; the same reviews fit the same
// parameters; too few keep the defaults.
TEST(FsrsFit, FitsAClassAsWellAsItsTrueParameters)
{
    const QList<ReviewCard> cards = rememberingClass(Truth, 8, 90);
    const Fsrs::Weights fitted = FsrsFit::fit(cards);
    EXPECT_EQ(FsrsFit::fit(cards), fitted);
    EXPECT_TRUE(FsrsFit::inBounds(fitted));
    const auto measured = [&cards](const Fsrs::Weights& w) {
        return FitMeasures::measure(FitMeasures::predict(cards, w));
    };
    const FitMeasures::Measure byDefault = measured(Fsrs::DefaultWeights), byFit = measured(fitted),
                               byTruth = measured(Truth);
    EXPECT_GT(byFit.reviews, 5000);
    EXPECT_LT(byFit.logLoss, byTruth.logLoss * 1.01);
    EXPECT_LT(byFit.logLoss, byDefault.logLoss - 0.005);
    EXPECT_LT(byFit.rmseBins, byDefault.rmseBins / 2);

    QStringList learners;
    for (int l = 0; l < 8; ++l) {
        learners.append(QString::number(l));
    }
    const FitMeasures::HeldOut held = FitMeasures::heldOut(cards, learners);
    EXPECT_EQ(held.folds, 5);
    EXPECT_EQ(held.fitted.reviews, byFit.reviews);
    EXPECT_LT(held.fitted.logLoss, held.defaults.logLoss);

    QList<ReviewCard> few = cards.mid(0, 30);
    ASSERT_LT(FsrsFit::predictedReviews(few), FsrsFit::MinimumReviews);
    EXPECT_EQ(FsrsFit::fit(few), Fsrs::DefaultWeights);
}

// The reviews the fit learns from are the schedule's: a day's first check,
// rated by partial credit, days counted from 04:00; practice and answers
// from a wrong clock left out.
TEST(FsrsFit, ReviewsAreTheSchedules)
{
    LocalZone japan("JST-9");
    const auto at = [](int day, int hour) {
        return QDateTime(QDate(2026, 5, day), QTime(hour, 0), Qt::UTC).toMSecsSinceEpoch() -
               9 * 3600000;
    };
    ClassReviews reviews(LearnerDays(), at(30, 12));
    const auto check = [&](const char* learner, int right, qint64 when) {
        Answer a;
        a.learner = QString::fromUtf8(learner);
        a.series = QStringLiteral("S.TXT");
        a.problemHash = QStringLiteral("p-1");
        a.terms = QStringList(10, QStringLiteral("t"));
        a.right = right;
        a.success = right == 10;
        a.timestampMs = when;
        reviews.add(a);
    };
    check("花子", 4, at(1, 9));    // Again
    check("花子", 10, at(1, 10));  // practice
    check("花子", 9, at(2, 3));    // before 04:00: still the 1st's day
    check("花子", 8, at(3, 9));    // Hard, two days on
    check("花子", 10, at(2, 9));   // before the last review: set aside
    check("花子", 10, at(31, 13)); // a day after reading: set aside
    check("太郎", 10, at(5, 9));
    ASSERT_EQ(reviews.learners(), (QStringList{QStringLiteral("花子"), QStringLiteral("太郎")}));
    ASSERT_EQ(reviews.cards().size(), 2);
    const QList<ReviewStep>& steps = reviews.cards().at(0).steps;
    ASSERT_EQ(steps.size(), 2);
    EXPECT_EQ(steps[0].grade, 1);
    EXPECT_EQ(steps[0].elapsedDays, 0);
    EXPECT_EQ(steps[1].grade, 2);
    EXPECT_EQ(steps[1].elapsedDays, 2);
    EXPECT_EQ(reviews.cards().at(1).steps.at(0).grade, 3);
    EXPECT_EQ(reviews.predictedReviews(), 1);
}

// The kept parameters come back as written; a damaged file, or one with a
// value out of bounds, is named and the defaults are used.
TEST(FsrsFit, KeptParametersAreCheckedWhenRead)
{
    QTemporaryDir dir;
    EXPECT_EQ(ClassParameters::read(dir.path()).parameters.w, Fsrs::DefaultWeights);
    ClassParameters::Kept kept;
    kept.parameters.w = Truth;
    kept.parameters.retention = 0.85;
    kept.fittedAt = QDateTime(QDate(2026, 12, 1), QTime(9, 30), Qt::UTC);
    kept.reviews = 1234;
    kept.learners = 12;
    ASSERT_EQ(ClassParameters::write(dir.path(), kept), QString());
    const ClassParameters::Kept read = ClassParameters::read(dir.path());
    EXPECT_EQ(read.parameters.w, Truth);
    EXPECT_EQ(read.parameters.retention, 0.85);
    EXPECT_EQ(read.fittedAt, kept.fittedAt);
    EXPECT_EQ(read.reviews, 1234);
    EXPECT_TRUE(read.problem.isEmpty()) << qPrintable(read.problem);

    const QString path = ClassParameters::path(dir.path());
    const QByteArray text = TestFiles::readAll(path);
    const QList<std::pair<QByteArray, QByteArray>> wrongs = {
        {"\"retention\": 0.85", "\"retention\": 0.99"},
        {"0.02", "0.9"}, // w7 at most 0.75
        {"\"parameters\": [", "\"parameters\": [1, "},
        {"}", ""}};
    for (const auto& [from, to] : wrongs) {
        TestFiles::write(path, QByteArray(text).replace(from, to));
        const ClassParameters::Kept damaged = ClassParameters::read(dir.path());
        EXPECT_EQ(damaged.parameters.w, Fsrs::DefaultWeights) << to.constData();
        EXPECT_EQ(damaged.parameters.retention, 0.9);
        EXPECT_TRUE(damaged.problem.contains(QStringLiteral(".fsrs-parameters.json")))
            << qPrintable(damaged.problem);
    }
}
