// The review states kept in the store: equal to the schedule rebuilt from
// every statement, taken in from another server, and read without the
// statements.
#include "record/Statements.h"
#include "server/learner/StorePorts.h"
#include "server/store/ClassSchedules.h"
#include "server/store/Store.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{

constexpr qint64 Day = 86400000;
const QString Learner = QStringLiteral("aoi");

// An answer to problem `n` `days` from today's noon with `wrong` of its five
// terms wrong. From noon, not from now: answers meant for one learner's day
// (practice) never fall either side of its start at 04:00, whatever the hour.
Answer answer(int n, double days, int wrong)
{
    Answer a;
    a.learner = a.learnerName = Learner;
    a.series = QStringLiteral("S.TXT");
    a.problemHash = QStringLiteral("%1-1").arg(n + 0xf0, 16, 16, QLatin1Char('0'));
    a.heading = QStringLiteral("問題%1").arg(n);
    a.question = QStringLiteral("次のものを分けよ");
    a.terms = {QStringLiteral("ア"), QStringLiteral("イ"), QStringLiteral("ウ"),
               QStringLiteral("エ"), QStringLiteral("オ")};
    a.groups = {QStringLiteral("甲"), QStringLiteral("乙")};
    a.correct = {1, 1, 2, 2, 1};
    a.placed = a.correct;
    for (int i = 0; i < wrong; ++i) {
        a.placed[i] = 3 - a.placed[i];
    }
    a.right = 5 - wrong;
    a.success = wrong == 0;
    a.timestampMs =
        QDateTime(QDate::currentDate(), QTime(12, 0)).toMSecsSinceEpoch() + qint64(days * Day);
    a.durationMs = 1000;
    a.id = QUuid::createUuid();
    return a;
}

// The schedule of every statement in the store, read now, in its order.
Schedule rebuilt(Store& store, const Fsrs::Parameters& parameters = {})
{
    Schedule s(LearnerDays(), parameters);
    for (const QByteArray& line : store.statements(Learner)) {
        QString why;
        const std::optional<Answer> a = Statements::parse(line, &why);
        if (!a) {
            ADD_FAILURE() << qPrintable(why);
            continue;
        }
        s.add(*a, QDateTime::currentMSecsSinceEpoch());
    }
    return s;
}

void expectSame(const Schedule& kept, const Schedule& expected)
{
    EXPECT_EQ(kept.setAsideCounts(), expected.setAsideCounts());
    const QList<ScheduledProblem> got = kept.problems();
    const QList<ScheduledProblem> want = expected.problems();
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        const ScheduledProblem &g = got.at(i), &w = want.at(i);
        EXPECT_EQ(g.problemId, w.problemId);
        EXPECT_EQ(std::tie(g.series, g.problemHash, g.heading),
                  std::tie(w.series, w.problemHash, w.heading));
        EXPECT_EQ(std::tie(g.card.stability, g.card.difficulty, g.card.reps, g.card.lastReviewMs,
                           g.card.intervalDays),
                  std::tie(w.card.stability, w.card.difficulty, w.card.reps, w.card.lastReviewMs,
                           w.card.intervalDays))
            << qPrintable(g.problemId);
        EXPECT_EQ(std::tie(g.lastReviewMs, g.dueDay), std::tie(w.lastReviewMs, w.dueDay));
    }
}

void answerThrough(StoreAnswers& record, const Answer& a)
{
    record.count(a);
    ASSERT_EQ(record.store(a), QString());
}

// A store whose first two answers came before review states were kept,
// and whose later ones came through two servers in turn.
struct Answered {
    QTemporaryDir dir;
    Store store;
    std::optional<StoreAnswers> first, second;

    Answered()
    {
        EXPECT_EQ(store.open(dir.path(), {}), QString());
        EXPECT_EQ(store.addLearner(Learner, QStringLiteral("ABCDEFGH")), QString());
        for (const Answer& a : {answer(1, -20, 0), answer(1, -19.9, 2)}) {
            EXPECT_EQ(store.appendStatement(Learner, a.id.toString(QUuid::WithoutBraces),
                                            a.problemId(), a.timestampMs, Statements::line(a)),
                      QString());
        }
        first.emplace(store, Learner, dir.path(), QString());
        answerThrough(*first, answer(2, -19, 3));
        second.emplace(store, Learner, dir.path(), QString());
        answerThrough(*second, answer(1, -10, 1));
        answerThrough(*second, answer(2, -5, 0));
        first->refresh();
        answerThrough(*first, answer(1, -9.99, 0)); // practice, the same day
        answerThrough(*first, answer(2, 3, 0));     // a clock ahead: set aside
        answerThrough(*first, answer(1, -1, 0));
    }
};

TEST(KeptReviews, EqualTheScheduleRebuiltFromEveryStatement)
{
    Answered answered;
    const Schedule all = rebuilt(answered.store);
    ASSERT_TRUE(all.uses().contains(Schedule::Use::Practice));
    ASSERT_EQ(all.setAside(), 1);
    expectSame(answered.first->schedule(), all);
    answered.second->refresh();
    expectSame(answered.second->schedule(), all);
    const StoreAnswers third(answered.store, Learner, answered.dir.path(), QString());
    expectSame(third.schedule(), all);

    // The progress page reads every answer, with their uses beside them.
    EXPECT_EQ(answered.first->answers().size(), 8);
    EXPECT_EQ(answered.first->schedule().uses(), all.uses());
    expectSame(answered.first->schedule(), all);
}

TEST(KeptReviews, AreReadWithoutTheStatements)
{
    Answered answered;
    const Schedule all = rebuilt(answered.store);
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(answered.dir.filePath(QStringLiteral("velmorant.sqlite")));
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("DELETE FROM statements")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    answered.first->refresh();
    expectSame(answered.first->schedule(), all);
    const StoreAnswers again(answered.store, Learner, answered.dir.path(), QString());
    expectSame(again.schedule(), all);
    EXPECT_TRUE(again.answers().isEmpty()) << "read only when asked for";
}

// A class's fit (or a new retention) makes every learner's kept state
// again with the class's parameters, and a session open meanwhile takes
// them up and schedules its next answer with them.
TEST(KeptReviews, AreMadeAgainWithTheClasssParameters)
{
    Answered answered;
    Store& store = answered.store;
    ASSERT_EQ(store.begin(), QString());
    for (int n = 10; n < 120; ++n) {
        for (const double days : {-80.0, -70.0, -55.0, -35.0, -12.0}) {
            const Answer a = answer(n, days + n % 3, (n * 7 + int(-days) * 3) % 4);
            ASSERT_EQ(store.appendStatement(Learner, a.id.toString(QUuid::WithoutBraces),
                                            a.problemId(), a.timestampMs, Statements::line(a)),
                      QString());
        }
    }
    ASSERT_EQ(store.commit(), QString());
    answered.first->refresh();
    const qint64 classId = store.classes()->first().id;
    const ClassSchedules::Result fitted =
        ClassSchedules::fit(store, answered.dir.path(), classId, std::nullopt, true);
    ASSERT_EQ(fitted.failure, QString());
    ASSERT_TRUE(fitted.kept) << qPrintable(fitted.told);
    const Fsrs::Parameters parameters = fitted.outcome.parameters;
    ASSERT_NE(parameters.w, Fsrs::DefaultWeights);

    const StoreAnswers fresh(store, Learner, answered.dir.path(), QString());
    EXPECT_EQ(fresh.schedule().parameters().w, parameters.w);
    expectSame(fresh.schedule(), rebuilt(store, parameters));
    answered.first->refresh();
    expectSame(answered.first->schedule(), rebuilt(store, parameters));
    int differ = 0;
    const QList<ScheduledProblem> byDefaults = rebuilt(store).problems();
    const QList<ScheduledProblem> byClass = fresh.schedule().problems();
    for (qsizetype i = 0; i < byClass.size(); ++i) {
        differ += byClass.at(i).card.intervalDays != byDefaults.at(i).card.intervalDays;
    }
    EXPECT_GT(differ, 0) << "the class's parameters set other intervals than the defaults";
    answerThrough(*answered.second, answer(3, -0.5, 1));
    expectSame(StoreAnswers(store, Learner, answered.dir.path(), QString()).schedule(),
               rebuilt(store, parameters));

    StoreAnswers open(store, Learner, answered.dir.path(), QString());
    const ClassSchedules::Result retained =
        ClassSchedules::fit(store, answered.dir.path(), classId, 0.75, false);
    ASSERT_EQ(retained.failure, QString());
    Fsrs::Parameters aimed = parameters;
    aimed.retention = 0.75;
    open.refresh();
    expectSame(open.schedule(), rebuilt(store, aimed));
}

} // namespace
