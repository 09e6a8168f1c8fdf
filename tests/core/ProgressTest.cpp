#include "record/Progress.h"
#include "session/Prompts.h"
#include "support/Fakes.h"
#include "support/LocalZone.h"

#include <gtest/gtest.h>

namespace
{

qint64 local(int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute, second, ms)).toMSecsSinceEpoch();
}

qint64 lastMsOf(int month, int day)
{
    return local(month, day, 23, 59, 59, 999);
}

Answer answer(const char* series, const char* problem, qint64 at, bool success, int attempt = 1)
{
    Answer a;
    a.series = QString::fromLatin1(series);
    a.problemHash = QString::fromLatin1(problem);
    a.timestampMs = at;
    a.success = success;
    a.attempt = attempt;
    return a;
}

ScheduledProblem due(const char* series, int month, int day)
{
    ScheduledProblem p;
    p.series = QString::fromLatin1(series);
    p.dueDay = QDate(2026, month, day);
    return p;
}

} // namespace

// Tuesday 3 November 2026 in Berlin; summer time ended on Sunday 25 October,
// so that day had 25 hours.
TEST(Progress, CountsSeriesDaysWeeksAndDueReviewsInLocalTime)
{
    LocalZone berlin("Europe/Berlin");
    ASSERT_EQ(local(10, 25, 0, 30),
              QDateTime(QDate(2026, 10, 24), QTime(22, 30), Qt::UTC).toMSecsSinceEpoch())
        << "the zone took effect";
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(local(11, 3, 10));
    // The learner's day starts at 04:00: only a day's first check reviews.
    const QList<Answer> answers = {
        // B: b1, b2, b3 and b4 right at their latest review, b5 not.
        answer("B", "b1", lastMsOf(10, 24), true), answer("B", "b1", local(10, 25, 0, 30), true, 2),
        answer("B", "b2", lastMsOf(11, 1), false), answer("B", "b2", local(11, 2, 4), true),
        answer("B", "b3", lastMsOf(11, 2), true), answer("B", "b3", local(11, 3), false),
        answer("B", "b4", lastMsOf(10, 4), true), answer("B", "b4", local(10, 5), true),
        answer("B", "b5", local(8, 16, 23, 59), true), answer("B", "b5", local(8, 17, 4), false),
        // A: a practice check after a review changes nothing; a second
        // showing on another day reviews.
        answer("A", "a1", local(10, 20, 12), false),
        answer("A", "a1", local(10, 20, 12, 1), true, 2), answer("A", "a1", local(10, 27, 9), true),
        answer("A", "a2", local(10, 21, 10), true), answer("A", "a2", local(11, 2, 8), false),
        answer("A", "a2", local(11, 2, 8, 1), true, 2),
        answer("A", "a3", local(10, 22, 10), true, 2),
        // From a clock set back: before a1's last review, set aside.
        answer("A", "a1", local(10, 27, 8), false),
        // Two series no longer listed; one answer from a clock a little
        // ahead, one from a clock two days ahead, set aside.
        answer("Z", "z1", local(11, 3, 9), true), answer("D", "d1", local(11, 3, 9, 30), false),
        answer("D", "d1", local(11, 4), true, 2), answer("Z", "z1", local(11, 5, 10, 1), false)};
    Schedule schedule;
    for (const Answer& a : answers) {
        schedule.add(a, now.toMSecsSinceEpoch());
    }
    const QList<ScheduledProblem> scheduled = {due("B", 11, 3), due("B", 11, 4),  due("A", 10, 1),
                                               due("A", 11, 9), due("A", 11, 10), due("Z", 11, 3)};
    const QList<std::pair<QString, QString>> catalogue = {{"B", QStringLiteral("生物B")},
                                                          {"A", QStringLiteral("生物A")},
                                                          {"C", QStringLiteral("化学")}};

    const Progress p =
        makeProgress(QStringLiteral("花子"), answers, schedule, scheduled, catalogue, now);
    EXPECT_EQ(p.learner, QStringLiteral("花子"));
    EXPECT_EQ(p.answers, 22);
    EXPECT_TRUE(p.setAside.contains(QStringLiteral("回答 2件"))) << qPrintable(p.setAside);
    QStringList rows;
    for (const SeriesProgress& s : p.series) {
        rows.append(QStringLiteral("%1 %2 %3/%4 %5% %6 %7")
                        .arg(s.series, s.title)
                        .arg(s.right)
                        .arg(s.seen)
                        .arg(s.rightPercent())
                        .arg(s.dueToday)
                        .arg(s.dueThisWeek));
    }
    EXPECT_EQ(
        rows,
        (QStringList{QStringLiteral("B 生物B 4/5 80% 1 2"), QStringLiteral("A 生物A 2/3 67% 1 2"),
                     QStringLiteral("C 化学 0/0 0% 0 0"), "D D 0/1 0% 0 0", "Z Z 1/1 100% 1 1"}));

    ASSERT_EQ(p.days.size(), 30);
    EXPECT_EQ(p.days.first().day, QDate(2026, 10, 5));
    EXPECT_EQ(p.days.last().day, QDate(2026, 11, 3));
    QStringList days;
    for (const DayCount& d : p.days) {
        if (d.answers > 0) {
            days.append(d.day.toString(QStringLiteral("M/d=")) + QString::number(d.answers));
        }
    }
    EXPECT_EQ(days, (QStringList{"10/5=1", "10/20=2", "10/21=1", "10/22=1", "10/24=1", "10/25=1",
                                 "10/27=2", "11/1=1", "11/2=4", "11/3=3"}));

    ASSERT_EQ(p.weeks.size(), 12);
    EXPECT_EQ(p.weeks.first().monday, QDate(2026, 8, 17));
    EXPECT_EQ(p.weeks.last().monday, QDate(2026, 11, 2));
    QStringList weeks;
    for (const WeekRate& w : p.weeks) {
        if (w.reviews > 0) {
            weeks.append(QStringLiteral("%1=%2/%3 %4%")
                             .arg(w.monday.toString(QStringLiteral("M/d")))
                             .arg(w.right)
                             .arg(w.reviews)
                             .arg(w.rightPercent()));
        }
    }
    EXPECT_EQ(weeks, (QStringList{"8/17=0/1 0%", "9/28=1/1 100%", "10/19=3/4 75%", "10/26=1/2 50%",
                                  "11/2=3/5 60%"}));
}

TEST(Progress, AnEmptyRecordStillHasItsDaysAndWeeks)
{
    const QDateTime now(QDate(2026, 12, 6), QTime(12, 0)); // a Sunday
    const Progress p = makeProgress(QStringLiteral("a"), {}, Schedule(), {}, {{"X", "x"}}, now);
    ASSERT_EQ(p.series.size(), 1);
    EXPECT_EQ(p.series.first().seen, 0);
    EXPECT_EQ(p.days.size(), 30);
    ASSERT_EQ(p.weeks.size(), 12);
    EXPECT_EQ(p.weeks.last().monday, QDate(2026, 11, 30)) << "a Sunday ends its week";
}

TEST(Progress, ARecordPromptIsShownAfterTheHandler)
{
    Harness h;
    Prompt prompt;
    prompt.kind = Prompt::Kind::Progress;
    prompt.progress = std::make_shared<const Progress>(
        makeProgress(QStringLiteral("太郎"), {}, Schedule(), {}, {}, QDateTime::currentDateTime()));
    h.form.get().prompts.append(prompt);
    ShowPrompts(h.session.get(), [] { return true; });
    ASSERT_EQ(h.dialogs.progressShown.size(), 1);
    EXPECT_EQ(h.dialogs.progressShown.first().learner, QStringLiteral("太郎"));
}

// Each term's share put right at first checks, the least often right first;
// a practice check after a review is not counted.
TEST(Progress, TermsAreRatedAtFirstChecksLeastRightFirst)
{
    const auto checked = [](QList<int> placed, int attempt) {
        Answer a = answer("S", "p", local(11, 2), false, attempt);
        a.heading = QStringLiteral("問題1");
        a.terms = {QStringLiteral("ウニ"), QStringLiteral("エビ")};
        a.groups = {QStringLiteral("棘皮"), QStringLiteral("節足")};
        a.correct = {1, 2};
        a.placed = std::move(placed);
        return a;
    };
    const Progress p = makeProgress(
        QStringLiteral("花子"), {checked({1, 1}, 1), checked({1, 2}, 2), checked({1, 2}, 1)},
        Schedule(), {}, {}, QDateTime::fromMSecsSinceEpoch(local(11, 3)));
    QStringList rows;
    for (const TermRate& t : p.terms) {
        rows.append(QStringList{t.heading, t.term, t.group, QString::number(t.right),
                                QString::number(t.firstChecks), QString::number(t.rightPercent())}
                        .join(u' '));
    }
    EXPECT_EQ(rows, (QStringList{QStringLiteral("問題1 エビ 節足 1 2 50"),
                                 QStringLiteral("問題1 ウニ 棘皮 2 2 100")}));
}
