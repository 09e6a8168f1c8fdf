#include "record/ClassParameters.h"
#include "record/LearnerRecord.h"
#include "record/ProblemId.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"
#include "session/TermDrop.h"
#include "support/Fakes.h"
#include "support/TestAnswers.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

namespace
{

constexpr qint64 Day = 86400000;

QStringList problem(const QString& heading, const QString& first, const QString& second)
{
    return {QStringLiteral("問題") + heading + QStringLiteral("　次の生物を分けよ"),
            QStringLiteral("Ａ群"),
            QStringLiteral("・") + first + QStringLiteral("　・") + second,
            QStringLiteral("Ｂ群"),
            QStringLiteral("ａ．動物　ｂ．植物"),
            QStringLiteral("正解a,b,")};
}

// Parameters fitted to the class, kept in `folder` when there are any.
bool keep(const QString& folder, const Fsrs::Weights* fitted)
{
    ClassParameters::Kept kept;
    kept.parameters.w = fitted ? *fitted : kept.parameters.w;
    kept.fittedAt = QDateTime::currentDateTimeUtc();
    kept.reviews = 500;
    kept.learners = 3;
    return fitted && ClassParameters::write(folder, kept).isEmpty();
}

// A learner with a record and a clock of their own, on a catalogue of one
// series of two problems.
struct Learner : Harness {
    qint64 now = 1'800'000'000'000;
    bool tuned;
    LearnerRecord record;

    // `log`: the learner's log as the program finds it; `fitted`: the
    // class's parameters.
    explicit Learner(const QByteArray& log = {}, const QString& name = QStringLiteral("hanako"),
                     const Fsrs::Weights* fitted = nullptr)
        : tuned(keep(dir.path(), fitted)), record(dir.path(), name, name)
    {
        record.clock = [this] { return now; };
        form.get().record = &record;
        TestFiles::write(path("ZQCList.TXT"), TestFiles::lines({QStringLiteral("生物,S.TXT")}));
        writeSeries(QStringLiteral("イヌ"));
        if (!log.isEmpty()) {
            QDir(dir.path()).mkdir(QStringLiteral("records"));
            TestFiles::write(record.path(), log);
        }
        session->start();
    }
    void writeSeries(const QString& animalOfTheSecond)
    {
        TestFiles::write(
            path("S.TXT"),
            TestFiles::lines(
                problem(QStringLiteral("一"), QStringLiteral("ネコ"), QStringLiteral("サクラ")) +
                problem(QStringLiteral("二"), animalOfTheSecond, QStringLiteral("マツ"))));
    }
    void open(int index)
    {
        form->seriesList.ListIndex = index;
        session->open(form->seriesList.ListIndex);
    }
    // Both terms into the frames given, one event each.
    void answer(int first, int second)
    {
        DropTerm(*form, 0, first);
        DropTerm(*form, 1, second);
    }
    void toList() { session->leave(); }
    // Opens the series and leaves it: the list is brought up to date.
    void revisit()
    {
        open(1);
        toList();
    }
    const QStringList& list() const { return form.get().seriesList.Entries; }
};

TEST(Review, ChecksAreLoggedAndDueProblemsComeBackAsTodaysReview)
{
    Learner l;
    l.open(1);
    ASSERT_EQ(l.state.problemCount, 2);
    l.now += 5000;
    l.answer(1, 0); // wrong: the review of this showing
    ASSERT_EQ(l.record.answers().size(), 1);
    const Answer& first = l.record.answers().at(0);
    EXPECT_EQ(first.problemId().left(28), QStringLiteral("urn:velmorant:problem:S.TXT:"));
    EXPECT_EQ(first.attempt, 1);
    EXPECT_FALSE(first.success);
    EXPECT_EQ(first.durationMs, 5000);
    EXPECT_EQ((QList<int>{2, 1}), first.placed);
    l.answer(0, 1); // two more checks, practice: half right, then right
    ASSERT_EQ(l.record.answers().size(), 3);
    EXPECT_EQ(l.record.answers().at(2).attempt, 3);
    EXPECT_TRUE(l.record.answers().at(2).success);

    // Problem 2 right at once; back on the list nothing is due yet.
    l.session->press(Button::Next);
    l.answer(0, 1);
    l.toList();
    EXPECT_EQ(l.list().size(), 2);

    // Days later both are due, the one answered wrong first: it is the more
    // overdue. The entry comes after the catalogue's.
    l.now += 30 * Day;
    l.revisit();
    ASSERT_EQ(l.list().size(), 3);
    EXPECT_EQ(l.list().at(2), QStringLiteral("今日の復習（2問）"));
    l.open(2);
    EXPECT_EQ(l.form.get().Caption, QStringLiteral("用語分類問題集 Velmorant < 今日の復習 >"));
    EXPECT_EQ(l.state.problemCount, 2);
    EXPECT_EQ(l.state.problems[1].heading, QStringLiteral("問題一"));
    l.answer(0, 1);
    l.toList();
    EXPECT_EQ(l.list().at(2), QStringLiteral("今日の復習（1問）"));

    // A problem whose text changed is no longer asked; its answers stay.
    l.writeSeries(QStringLiteral("トラ"));
    l.revisit();
    EXPECT_EQ(l.list().size(), 2);
    EXPECT_EQ(l.record.answers().size(), 5);
}

// A series given a 期限 shows it and the problems whose last check was
// right, 期限切れ once it is past; a series hidden from the learner's
// class leaves today's review.
TEST(Review, ASeriesGivenADueDateShowsItAndOneHiddenLeavesTheReview)
{
    Learner l;
    l.open(1);
    l.answer(0, 1);
    l.session->press(Button::Next);
    l.answer(1, 0);
    l.toList();
    l.now += 30 * Day;
    const QDate today = QDateTime::fromMSecsSinceEpoch(l.now).date();
    l.form.get().dueSeries = {{QStringLiteral("s.txt"), today.addDays(1)}};
    l.revisit();
    ASSERT_EQ(l.list().size(), 3);
    EXPECT_EQ(l.list().at(1), QStringLiteral("生物　期限 %1　1/2問")
                                  .arg(today.addDays(1).toString(QStringLiteral("M/d"))));
    EXPECT_EQ(Assigned::label(QStringLiteral("生物"), today.addDays(-1), today, 0, 2),
              QStringLiteral("生物　期限 %1（期限切れ）　0/2問")
                  .arg(today.addDays(-1).toString(QStringLiteral("M/d"))));

    l.form.get().hiddenSeries = {QStringLiteral("S.TXT")};
    l.revisit();
    EXPECT_EQ(l.list().size(), 2) << qPrintable(l.list().join(u'|'));
}

// With parameters fitted to the class kept in the folder, today's review is
// scheduled by them and says so: here a first Good is remembered for 100
// days, so only the problem first answered wrong comes back.
TEST(Review, TodaysReviewIsScheduledByTheClasssParameters)
{
    Fsrs::Weights fitted = Fsrs::DefaultWeights;
    fitted[2] = 100;
    for (const bool tuned : {false, true}) {
        Learner l({}, QStringLiteral("hanako"), tuned ? &fitted : nullptr);
        ASSERT_EQ(l.tuned, tuned);
        l.open(1);
        l.answer(1, 0);
        l.answer(0, 1);
        l.session->press(Button::Next);
        l.answer(0, 1);
        l.toList();
        l.now += 30 * Day;
        l.revisit();
        ASSERT_EQ(l.list().size(), 3);
        EXPECT_EQ(l.list().at(2),
                  tuned ? QStringLiteral("今日の復習（1問、このクラスに合わせた復習）")
                        : QStringLiteral("今日の復習（2問）"));
    }
}

// 終了 on the list writes an answer whose write failed, or tells the
// learner it is lost before the program ends, as closing the window does.
TEST(Review, QuitFromTheListWritesOrTellsOfUnwrittenAnswers)
{
    for (const bool stillFull : {false, true}) {
        Learner l;
        l.open(1);
        {
            const TestFiles::FileSizeLimit full(10);
            l.answer(0, 1);
            l.toList();
            l.dialogs.messages.clear();
            if (stillFull) {
                l.session->leave();
            }
        }
        if (!stillFull) {
            l.session->leave();
        }
        EXPECT_EQ(l.dialogs.ended, 1);
        ASSERT_FALSE(l.dialogs.messages.isEmpty());
        EXPECT_EQ(l.dialogs.messages.first().text, QStringLiteral("終了してもよろしいですか"));
        if (stillFull) {
            ASSERT_EQ(l.dialogs.messages.size(), 2);
            EXPECT_TRUE(
                l.dialogs.messages.at(1).text.contains(QStringLiteral("まだ書けていない回答が1件")))
                << qPrintable(l.dialogs.messages.at(1).text);
        } else {
            EXPECT_EQ(l.dialogs.messages.size(), 1);
            EXPECT_TRUE(l.form->unsavedAnswers.isEmpty());
            EXPECT_EQ(AnswerLogs::readFile(l.record.path()).answers.size(), 1);
        }
    }
}

// A line of the log that is no answer is named with its file and line once,
// when the list first shows, and not again as the list comes back.
TEST(Review, ADamagedLineIsToldOnceAtTheStart)
{
    Learner l("{\"id\": \"broken\"}\n");
    ASSERT_EQ(l.dialogs.messages.size(), 1);
    EXPECT_TRUE(l.dialogs.messages.first().text.contains(
        QDir::toNativeSeparators(QStringLiteral("records/hanako.jsonl 1行目"))))
        << qPrintable(l.dialogs.messages.first().text);
    l.open(1);
    l.answer(0, 1);
    l.toList();
    l.revisit();
    EXPECT_EQ(l.dialogs.messages.size(), 1);
}

// Two copies of the program for one learner: each reads what the other
// wrote before adding its own answer, so the second check of the day is
// practice in both and their schedules are the same.
TEST(Review, TwoCopiesOfOneLearnerAgree)
{
    QTemporaryDir dir;
    LearnerRecord first(dir.path(), QStringLiteral("hanako"), QStringLiteral("hanako"));
    LearnerRecord second(dir.path(), QStringLiteral("hanako"), QStringLiteral("hanako"));
    first.refresh();
    second.refresh();
    const auto add = [](LearnerRecord& copy, const Answer& a) {
        copy.count(a);
        return copy.store(a);
    };
    ASSERT_EQ(add(first, numberedAnswer(QStringLiteral("hanako"), QStringLiteral("A"), 0)), "");
    ASSERT_EQ(add(second, numberedAnswer(QStringLiteral("hanako"), QStringLiteral("B"), 300000)),
              "");
    first.refresh();
    for (const LearnerRecord* copy : {&first, &second}) {
        EXPECT_EQ(copy->schedule().uses(),
                  (QList<Schedule::Use>{Schedule::Use::Review, Schedule::Use::Practice}));
        ASSERT_EQ(copy->schedule().problems().size(), 1);
        EXPECT_EQ(copy->schedule().problems().first().lastReviewMs,
                  first.answers().first().timestampMs);
        EXPECT_EQ(copy->answers().last().heading, QStringLiteral("問題B300000"));
    }
}

// The teacher rewords a problem the learner answered in a log of the
// program before, which named it by the hash of its whole text: the answer
// joins the problem's history, and the review goes on from it.
TEST(Review, ARewordedProblemKeepsItsHistoryAndOldIdsJoinIt)
{
    Learner l;
    const Problem one = SeriesLoader::load(l.path("S.TXT")).usable.at(0);
    Answer old = Statements::about(one, QStringLiteral("S.TXT"), ProblemIds::textHash(one));
    old.learner = old.learnerName = QStringLiteral("hanako");
    old.placed = {2, 1}; // wrong, two days ago
    old.timestampMs = l.now - 2 * Day;
    old.id = QUuid::createUuid();
    ASSERT_EQ(AnswerLog(l.dir.path(), old.learner).append(old), QString());
    TestFiles::write(
        l.path("S.TXT"),
        TestFiles::lines(
            problem(QStringLiteral("１"), QStringLiteral("ネコ"), QStringLiteral("サクラ")) +
            problem(QStringLiteral("二"), QStringLiteral("イヌ"), QStringLiteral("マツ"))));
    l.revisit();
    ASSERT_EQ(l.list().size(), 3);
    EXPECT_EQ(l.list().at(2), QStringLiteral("今日の復習（1問）"));
    l.open(2);
    EXPECT_EQ(l.state.problems[1].heading, QStringLiteral("問題１"));
    l.answer(0, 1);
    l.toList();

    const QString key = ProblemIds::keysOf(SeriesLoader::load(l.path("S.TXT")).usable).at(0);
    const QList<ScheduledProblem> scheduled = l.record.schedule().problems();
    ASSERT_EQ(scheduled.size(), 1);
    EXPECT_EQ(scheduled.at(0).problemHash, key);
    EXPECT_EQ(scheduled.at(0).card.reps, 2); // the old Again, then this Good
    EXPECT_EQ(l.list().size(), 2);
}

// A log's name holding "%2" is told as it is, not filled in.
TEST(Review, ADamagedLineIsToldInTheLogsOwnName)
{
    Learner l({}, QStringLiteral(".."));
    ASSERT_TRUE(l.record.path().endsWith(QStringLiteral("records/%2E%2E.jsonl")));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(l.record.path()).path()));
    TestFiles::write(l.record.path(), "{\"id\": 1\n");
    l.session->showProgress();
    ASSERT_FALSE(l.dialogs.messages.isEmpty());
    EXPECT_TRUE(
        l.dialogs.messages.last().text.contains(QStringLiteral("records/%2E%2E.jsonl 1行目: ")))
        << l.dialogs.messages.last().text.toStdString();
}

} // namespace
