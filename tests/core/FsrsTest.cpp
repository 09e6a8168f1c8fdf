#include "record/Fsrs.h"
#include "record/Schedule.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QString>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace
{

constexpr qint64 MinuteMs = 60 * 1000;
constexpr qint64 DayMs = 24 * 60 * MinuteMs;

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

Answer check(const QString& hash, bool success, int attempt, qint64 atMs)
{
    Answer a;
    a.series = QStringLiteral("Seibutsu1.txt");
    a.problemHash = hash;
    a.heading = QStringLiteral("問題 ") + hash;
    a.success = success;
    a.attempt = attempt;
    a.timestampMs = atMs;
    return a;
}

std::string hashes(const QList<ScheduledProblem>& ps)
{
    QStringList out;
    for (const ScheduledProblem& p : ps) {
        out << p.problemHash;
    }
    return out.join(' ').toStdString();
}

} // namespace

// Only the first check of a showing reviews: a wrong one is Again, a right
// one Good; later checks leave the card alone. Due problems come most
// overdue first.
TEST(Schedule, FirstChecksMoveCardsAndDueOrder)
{
    const qint64 t0 = 1'780'000'000'000;
    Schedule schedule;
    schedule.add(check("aaaa", false, 1, t0));
    schedule.add(check("aaaa", true, 2, t0 + MinuteMs)); // practice
    schedule.add(check("bbbb", true, 1, t0));
    schedule.add(check("cccc", true, 1, t0 - DayMs));
    schedule.add(check("0000", false, 1, t0));
    schedule.add(check("dddd", true, 2, t0)); // practice alone: never reviewed

    const QList<ScheduledProblem> all = schedule.problems();
    ASSERT_EQ(hashes(all), "0000 aaaa bbbb cccc");
    const ScheduledProblem& a = all[1];
    EXPECT_EQ(a.problemId, "urn:velmorant:problem:Seibutsu1.txt:aaaa");
    EXPECT_EQ(a.card.reps, 1);
    EXPECT_DOUBLE_EQ(a.card.stability, 0.212); // a first Again
    EXPECT_EQ(a.card.lastReviewMs, t0);
    EXPECT_EQ(a.dueMs, t0 + DayMs);
    EXPECT_DOUBLE_EQ(all[2].card.stability, 2.3065); // a first Good
    EXPECT_EQ(all[2].dueMs, t0 + 3 * DayMs);

    EXPECT_EQ(hashes(schedule.dueBy(t0 + DayMs - 1)), "");
    EXPECT_EQ(hashes(schedule.dueBy(t0 + 2 * DayMs)), "0000 aaaa cccc");
    EXPECT_EQ(hashes(schedule.dueBy(t0 + 9 * DayMs)), "0000 aaaa cccc bbbb");

    // A wrong first check of a later showing is a lapse.
    schedule.add(check("bbbb", false, 1, t0 + 3 * DayMs));
    schedule.add(check("bbbb", true, 2, t0 + 3 * DayMs + MinuteMs));
    const ScheduledProblem b = schedule.problems()[2];
    EXPECT_EQ(b.card.reps, 2);
    EXPECT_LT(b.card.stability, 2.3065);
    EXPECT_EQ(b.dueMs, t0 + 4 * DayMs);
}
