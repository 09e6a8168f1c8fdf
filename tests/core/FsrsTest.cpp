#include "record/Fsrs.h"
#include "record/Schedule.h"
#include "support/LocalZone.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

namespace
{

constexpr qint64 MinuteMs = 60 * 1000;

double relativeError(double got, double want)
{
    return std::abs(got - want) / std::abs(want);
}

struct Agreement {
    int sequences = 0, reviews = 0, intervalsEqual = 0, recalls = 0;
    double stabilityError = 0, difficultyError = 0, recallError = 0;
    QString firstMismatch;

    void note(bool ok, int line, const char* what, double got, double want)
    {
        if (!ok && firstMismatch.isEmpty()) {
            firstMismatch = QStringLiteral("line %1: %2 %3, ts-fsrs %4")
                                .arg(line)
                                .arg(QLatin1String(what))
                                .arg(got, 0, 'g', 12)
                                .arg(want, 0, 'g', 12);
        }
    }
};

} // namespace

// Every review of tests/data/fsrs/agreement.tsv (made by generate.mjs with
// ts-fsrs) replayed: stability, difficulty and recall agree to 1e-6, the
// interval to the day.
TEST(Fsrs, AgreesWithTheReferenceScheduler)
{
    QFile file(TestFiles::sourceDir() + "/tests/data/fsrs/agreement.tsv");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
    const Fsrs::Scheduler scheduler;
    Agreement a;
    Fsrs::Card card;
    qint64 minute = 0;
    double recallWanted = 0;
    int lineNo = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNo;
        if (line.startsWith('#') || line.startsWith("minute")) {
            continue;
        }
        const QList<QByteArray> f = line.split('\t');
        ASSERT_EQ(f.size(), 6) << "line " << lineNo;
        if (f[0].startsWith('@')) {
            ++a.sequences;
            card = {};
            minute = f[0].mid(1).toLongLong();
        } else {
            minute += f[0].toLongLong();
            const double r = scheduler.recall(card, minute * MinuteMs);
            a.recallError = std::max(a.recallError, relativeError(r, recallWanted));
            a.note(relativeError(r, recallWanted) <= 1e-6, lineNo, "recall", r, recallWanted);
            ++a.recalls;
        }
        card = scheduler.review(card, Fsrs::Rating(f[1].toInt()), minute * MinuteMs);
        ++a.reviews;
        const double s = f[2].toDouble(), d = f[3].toDouble();
        a.stabilityError = std::max(a.stabilityError, relativeError(card.stability, s));
        a.difficultyError = std::max(a.difficultyError, relativeError(card.difficulty, d));
        a.note(relativeError(card.stability, s) <= 1e-6, lineNo, "stability", card.stability, s);
        a.note(relativeError(card.difficulty, d) <= 1e-6, lineNo, "difficulty", card.difficulty, d);
        a.note(card.intervalDays == f[4].toInt(), lineNo, "interval", card.intervalDays,
               f[4].toInt());
        a.intervalsEqual += card.intervalDays == f[4].toInt();
        recallWanted = f[5].toDouble();
    }
    std::printf(
        "FSRS agreement with ts-fsrs: %d sequences, %d reviews; max relative error "
        "stability %.3g, difficulty %.3g, recall %.3g (%d recalls); intervals equal %d of %d\n",
        a.sequences, a.reviews, a.stabilityError, a.difficultyError, a.recallError, a.recalls,
        a.intervalsEqual, a.reviews);
    EXPECT_GE(a.sequences, 1000);
    EXPECT_TRUE(a.firstMismatch.isEmpty()) << qPrintable(a.firstMismatch);
    EXPECT_EQ(a.intervalsEqual, a.reviews);
}

namespace
{

// A check of `right` of `terms` terms of one problem at atMs.
Answer check(const QString& hash, int terms, int right, qint64 atMs)
{
    Answer a;
    a.series = QStringLiteral("Seibutsu1.txt");
    a.problemHash = hash;
    a.heading = QStringLiteral("問題 ") + hash;
    for (int i = 1; i <= terms; ++i) {
        a.terms.append(QString::number(i));
    }
    a.right = right;
    a.success = right == terms;
    a.timestampMs = atMs;
    return a;
}

// Milliseconds of a local time in Japan (UTC+9, no clock changes).
qint64 tokyo(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute), Qt::UTC).toMSecsSinceEpoch() -
           9 * 3600 * 1000;
}

ScheduledProblem only(const Schedule& s)
{
    return s.problems().value(0);
}

} // namespace

// All right is Good, at most one term in five wrong Hard, anything worse
// Again.
TEST(Schedule, PartialCreditRatesNearMissesHard)
{
    using R = Fsrs::Rating;
    const std::pair<std::pair<int, int>, R> cases[] = {
        {{10, 10}, R::Good}, {{10, 9}, R::Hard},   {{10, 8}, R::Hard},  {{12, 10}, R::Hard},
        {{5, 4}, R::Hard},   {{4, 3}, R::Again},   {{11, 8}, R::Again}, {{10, 7}, R::Again},
        {{21, 17}, R::Hard}, {{21, 16}, R::Again}, {{3, 0}, R::Again}};
    for (const auto& [checked, rating] : cases) {
        EXPECT_EQ(Schedule::ratingOf(check("a", checked.first, checked.second, 0)), rating)
            << checked.second << " of " << checked.first;
    }
}

// The first check of a problem on the learner's day (from 04:00 local time)
// reviews it; later checks that day are practice. The problem is due from
// the start of the day its interval ends on.
TEST(Schedule, TheDaysFirstCheckReviewsAndDueIsADay)
{
    LocalZone japan("JST-9");
    Schedule schedule;
    const qint64 readAt = tokyo(20, 12);
    EXPECT_EQ(schedule.add(check("a", 10, 6, tokyo(1, 19)), readAt), Schedule::Use::Review);
    // A retry right at once, and one after midnight, leave the Again.
    EXPECT_EQ(schedule.add(check("a", 10, 10, tokyo(1, 19, 1)), readAt), Schedule::Use::Practice);
    EXPECT_EQ(schedule.add(check("a", 10, 10, tokyo(2, 3, 59)), readAt), Schedule::Use::Practice);
    ScheduledProblem a = only(schedule);
    EXPECT_EQ(a.card.reps, 1);
    EXPECT_EQ(a.card.intervalDays, 1);
    EXPECT_EQ(a.dueDay, QDate(2026, 12, 2));
    EXPECT_TRUE(schedule.dueBy(tokyo(2, 3, 59)).isEmpty()) << "the 1st's day lasts to 04:00";
    EXPECT_EQ(schedule.dueBy(tokyo(2, 4)).size(), 1);
    EXPECT_EQ(schedule.dueBy(tokyo(3, 3, 59)).size(), 1) << "due all of its day";

    // 04:00 starts the next day: a near miss is Hard, the day's first check.
    EXPECT_EQ(schedule.add(check("a", 10, 9, tokyo(2, 4)), readAt), Schedule::Use::Review);
    a = only(schedule);
    EXPECT_EQ(a.card.reps, 2);
    EXPECT_EQ(a.lastReviewMs, tokyo(2, 4));
    EXPECT_EQ(a.dueDay, QDate(2026, 12, 2).addDays(a.card.intervalDays));
    EXPECT_EQ(schedule.uses().size(), 4);
}

// An answer dated before the problem's last review, or more than a day
// after the record is read, is counted as set aside and moves nothing.
TEST(Schedule, AnswersFromAWrongClockAreSetAside)
{
    LocalZone japan("JST-9");
    Schedule schedule;
    const qint64 readAt = tokyo(10, 12);
    schedule.add(check("a", 5, 5, tokyo(5, 9)), readAt);
    const ScheduledProblem before = only(schedule);
    EXPECT_EQ(schedule.add(check("a", 5, 0, tokyo(5, 8, 59)), readAt),
              Schedule::Use::BeforeLastReview);
    EXPECT_EQ(schedule.add(check("a", 5, 0, tokyo(11, 12, 1)), readAt),
              Schedule::Use::AheadOfReading);
    EXPECT_EQ(schedule.add(check("b", 5, 5, tokyo(11, 12, 1)), readAt),
              Schedule::Use::AheadOfReading);
    EXPECT_EQ(only(schedule).dueDay, before.dueDay);
    EXPECT_EQ(only(schedule).card.reps, 1);
    EXPECT_EQ(schedule.problems().size(), 1);
    EXPECT_EQ(schedule.setAside(), 3);
    const QString note = schedule.setAsideNote();
    EXPECT_TRUE(note.contains(QStringLiteral("最後の復習より前の日時のもの 1件")))
        << qPrintable(note);
    EXPECT_TRUE(note.contains(QStringLiteral("1日以上先の日時のもの 2件"))) << qPrintable(note);
    // A day ahead exactly is a clock a little fast, and counts.
    EXPECT_EQ(schedule.add(check("a", 5, 5, tokyo(11, 12)), readAt), Schedule::Use::Review);
}

// tests/data/fsrs/days.tsv (made by generate.mjs): checks of problems by a
// learner in Japan, with the day's first check rated by its terms right and
// given to ts-fsrs. Every check's use, card and due day agree.
TEST(Schedule, AgreesWithTheReferenceSchedulerOnALearnersChecks)
{
    LocalZone japan("JST-9");
    QFile file(TestFiles::sourceDir() + "/tests/data/fsrs/days.tsv");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
    std::unique_ptr<Schedule> schedule;
    qint64 minute = 0;
    int lineNo = 0, checks = 0, hard = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNo;
        if (line.startsWith('#') || line.startsWith("minute")) {
            continue;
        }
        const QList<QByteArray> f = line.split('\t');
        ASSERT_EQ(f.size(), 7) << "line " << lineNo;
        if (f[0].startsWith('@')) {
            schedule = std::make_unique<Schedule>();
            minute = f[0].mid(1).toLongLong();
        } else {
            minute += f[0].toLongLong();
        }
        const Answer a = check("p", f[1].toInt(), f[2].toInt(), minute * MinuteMs);
        const Schedule::Use use = schedule->add(a, minute * MinuteMs);
        ASSERT_EQ(use == Schedule::Use::Review ? "R" : "P", f[3]) << "line " << lineNo;
        hard += use == Schedule::Use::Review && Schedule::ratingOf(a) == Fsrs::Rating::Hard;
        const ScheduledProblem p = only(*schedule);
        ASSERT_LE(relativeError(p.card.stability, f[4].toDouble()), 1e-6) << "line " << lineNo;
        ASSERT_LE(relativeError(p.card.difficulty, f[5].toDouble()), 1e-6) << "line " << lineNo;
        ASSERT_EQ(p.dueDay, QDate::fromString(QString::fromLatin1(f[6]), Qt::ISODate))
            << "line " << lineNo;
        ++checks;
    }
    EXPECT_GE(checks, 5000);
    EXPECT_GE(hard, 500);
}
