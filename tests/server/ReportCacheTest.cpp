// The teacher's report built on its own thread: the same bytes as a report
// made there and then, built once for requests made together, and again
// after a new statement. The grade book from the answers the store keeps
// beside its statements, old and new, is the one parsed from them.
#include "server/teacher/ReportCache.h"
#include "record/Statements.h"
#include "report/LocalTime.h"
#include "report/ReportFiles.h"
#include "server/store/Store.h"
#include "server/store/StoreReport.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

namespace
{

using Files = std::shared_ptr<const ReportCache::Files>;

Answer answer(const QString& learner, int n, int wrong, int problem = -1)
{
    Answer a;
    a.learner = a.learnerName = learner;
    a.series = QStringLiteral("S.TXT");
    problem = problem < 0 ? n : problem;
    a.problemHash = QStringLiteral("%1-1").arg(problem, 16, 16, QLatin1Char('0'));
    a.heading = QStringLiteral("問題%1").arg(problem);
    a.question = QStringLiteral("次のものを分けよ");
    a.terms = {QStringLiteral("ア"), QStringLiteral("イ"), QStringLiteral("ウ")};
    a.groups = {QStringLiteral("甲"), QStringLiteral("乙")};
    a.correct = {1, 2, 2};
    a.placed = a.correct;
    for (int i = 0; i < wrong; ++i) {
        a.placed[i] = 3 - a.placed[i];
    }
    a.right = 3 - wrong;
    a.success = wrong == 0;
    a.timestampMs = 1'800'000'000'000 + n * 60000;
    a.durationMs = 1000;
    a.id = QUuid::createUuid();
    return a;
}

// Stored in the row of `rowLearner` (by default the answer's learner).
void storeAnswer(Store& store, const Answer& a, const QString& rowLearner = {})
{
    ASSERT_EQ(store.appendStatement(rowLearner.isEmpty() ? a.learner : rowLearner,
                                    a.id.toString(QUuid::WithoutBraces), a.problemId(),
                                    a.timestampMs, Statements::line(a)),
              QString());
}

void addAnswer(Store& store, const QString& learner, int n, int wrong, int problem = -1)
{
    storeAnswer(store, answer(learner, n, wrong, problem));
}

// The report of the chosen classes and days.
std::future<Files> requested(ReportCache& cache, const ReportCache::Chosen& chosen)
{
    auto promise = std::make_shared<std::promise<Files>>();
    cache.files(chosen, [promise](Files files, const QString& failure) {
        EXPECT_EQ(failure, QString());
        promise->set_value(std::move(files));
    });
    return promise->get_future();
}

void expectAsBuiltNow(const Files& files, Store& store, const QString& folder)
{
    ASSERT_TRUE(files);
    const Store::SchoolClass only = store.classes().value().first();
    const ClassReport::Report report = StoreReport::ofClasses(store, folder, {only.id}, {}, {});
    // The store's one class names the page.
    EXPECT_EQ(files->page,
              ReportFiles::indexHtml(report, QStringLiteral("%1 の結果").arg(only.name)));
    for (const QString& name : ReportFiles::spreadsheetNames()) {
        EXPECT_EQ(files->spreadsheets.value(name), ReportFiles::spreadsheet(name, report))
            << qPrintable(name);
    }
}

TEST(ReportCache, GivesTheReportOfTheStoreBuiltOnceForEachStateOfIt)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    ASSERT_EQ(store.addLearner(QStringLiteral("aoi"), QStringLiteral("ABCDEFGH")), QString());
    ASSERT_EQ(store.addLearner(QStringLiteral("ren"), QStringLiteral("JKMNPQRS")), QString());
    for (int n = 0; n < 6; ++n) {
        addAnswer(store, n % 2 ? QStringLiteral("aoi") : QStringLiteral("ren"), n % 3, n % 2);
    }
    const ReportCache::Chosen all{{store.classes().value().first().id}, {}, {}};
    ReportCache cache(dir.path(), {}, QStringLiteral("クラスの結果"));
    std::future<Files> first = requested(cache, all);
    std::future<Files> together = requested(cache, all);
    const Files built = first.get();
    expectAsBuiltNow(built, store, dir.path());
    EXPECT_EQ(together.get(), built) << "built once for both";
    EXPECT_EQ(requested(cache, all).get(), built) << "nothing new: the same files";

    addAnswer(store, QStringLiteral("aoi"), 1, 0);
    const Files again = requested(cache, all).get();
    EXPECT_NE(again, built);
    EXPECT_NE(again->spreadsheets.value(QStringLiteral("results.csv")),
              built->spreadsheets.value(QStringLiteral("results.csv")));
    expectAsBuiltNow(again, store, dir.path());
}

// A class's report holds its own learners alone, named as shown, under
// the class's name; the store's other class has a report of its own.
TEST(ReportCache, GivesAClassItsOwnLearnersAlone)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    ASSERT_EQ(
        store.addLearners(
            {{QStringLiteral("1A"), 1, QStringLiteral("あおい"), QStringLiteral("ABCDEFGH"), {}},
             {QStringLiteral("1B"), 1, QStringLiteral("れん"), QStringLiteral("JKMNPQRS"), {}}}),
        QString());
    addAnswer(store, QStringLiteral("1A/あおい"), 0, 1);
    addAnswer(store, QStringLiteral("1B/れん"), 1, 0);
    const QList<Store::SchoolClass> classes = store.classes().value();
    ASSERT_EQ(classes.size(), 2);
    ReportCache cache(dir.path(), {}, QStringLiteral("クラスの結果"));
    const Files a = requested(cache, {{classes.at(0).id}, {}, {}}).get();
    const Files b = requested(cache, {{classes.at(1).id}, {}, {}}).get();
    const QString aRows = QString::fromUtf8(a->spreadsheets.value(QStringLiteral("results.csv")));
    const QString bRows = QString::fromUtf8(b->spreadsheets.value(QStringLiteral("results.csv")));
    EXPECT_TRUE(aRows.contains(QStringLiteral("1A あおい,"))) << qPrintable(aRows);
    EXPECT_FALSE(aRows.contains(QStringLiteral("れん"))) << qPrintable(aRows);
    EXPECT_TRUE(bRows.contains(QStringLiteral("1B れん,")) &&
                !bRows.contains(QStringLiteral("あおい")))
        << qPrintable(bRows);
    EXPECT_TRUE(QString::fromUtf8(a->page).contains(QStringLiteral("1A の結果")));
    EXPECT_TRUE(aRows.contains(QStringLiteral("問題0"))) << qPrintable(aRows);

    // A series hidden from 1A leaves its report at once; 1B's keeps it.
    ASSERT_EQ(store.setSeriesChoice(classes.at(0).id, {QStringLiteral("S.TXT"), true, {}}),
              QString());
    const auto rows = [&cache](qint64 id) {
        return QString::fromUtf8(requested(cache, {{id}, {}, {}})
                                     .get()
                                     ->spreadsheets.value(QStringLiteral("results.csv")));
    };
    EXPECT_FALSE(rows(classes.at(0).id).contains(QStringLiteral("問題0")))
        << qPrintable(rows(classes.at(0).id));
    EXPECT_EQ(rows(classes.at(1).id), bRows);

    // The two classes together: each learner's answers as their own class
    // sees its series, in the whole report and in the grade book alone.
    const QList<qint64> both{classes.at(0).id, classes.at(1).id};
    // Asked first, so that its own pass makes it, not the whole report's.
    const Files book = requested(cache, {both, {}, {}, true}).get();
    const Files whole = requested(cache, {both, {}, {}}).get();
    const QString bothRows =
        QString::fromUtf8(whole->spreadsheets.value(QStringLiteral("results.csv")));
    EXPECT_FALSE(bothRows.contains(QStringLiteral("問題0"))) << qPrintable(bothRows);
    EXPECT_TRUE(bothRows.contains(QStringLiteral("1B れん,"))) << qPrintable(bothRows);
    EXPECT_EQ(book->spreadsheets.value(QStringLiteral("gradebook.csv")),
              whole->spreadsheets.value(QStringLiteral("gradebook.csv")));
}

// The days chosen drop the answers outside them; every learner of the
// class is in the grade book, by 番号, answers or none.
TEST(ReportCache, TheDaysChosenAloneAndEveryLearnerInTheGradeBook)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    ASSERT_EQ(
        store.addLearners(
            {{QStringLiteral("1A"), 2, QStringLiteral("あおい"), QStringLiteral("ABCDEFGH"), {}},
             {QStringLiteral("1A"), 1, QStringLiteral("わたる"), QStringLiteral("JKMNPQRS"), {}},
             {QStringLiteral("1B"), 1, QStringLiteral("れん"), QStringLiteral("TUVWXYZA"), {}}}),
        QString());
    constexpr int Day = 24 * 60; // addAnswer's n counts minutes
    addAnswer(store, QStringLiteral("1A/あおい"), 0, 1);
    addAnswer(store, QStringLiteral("1A/あおい"), 2 * Day, 0);
    addAnswer(store, QStringLiteral("1B/れん"), 2 * Day + 1, 0);
    const QDate later = LocalTime::Days().of(1'800'000'000'000 + 2 * Day * qint64(60000));
    const qint64 classA = store.classes().value().first().id;
    ReportCache cache(dir.path(), {}, QStringLiteral("全クラスの結果"));
    const Files files = requested(cache, {{classA}, later, later}).get();
    const QString results =
        QString::fromUtf8(files->spreadsheets.value(QStringLiteral("results.csv")));
    EXPECT_EQ(results.count(QStringLiteral("\r\n")), 2) << qPrintable(results);
    EXPECT_TRUE(results.contains(QStringLiteral("1A あおい,S.TXT,S.TXT,問題%1,1").arg(2 * Day)))
        << qPrintable(results);
    const QString day = later.toString(Qt::ISODate);
    EXPECT_TRUE(
        QString::fromUtf8(files->page).contains(QStringLiteral("1A の結果（%1〜%1）").arg(day)));
    EXPECT_EQ(files->spreadsheets.value(QStringLiteral("gradebook.csv")),
              QStringLiteral("\uFEFF組,番号,氏名,S.TXT 正解した問題数,S.TXT 初回正解率(%),"
                             "S.TXT 最終学習日\r\n1A,1,わたる,0,,\r\n1A,2,あおい,1,100,%1\r\n")
                  .arg(day)
                  .toUtf8());
}

// The grade book asked for alone comes from a lighter pass over the
// statements: the same bytes as the whole report's, with checks of one
// moment (told apart by their ids), a statement that cannot be read, a
// learner without answers and the days chosen.
TEST(ReportCache, TheGradeBookAloneHasTheBytesOfTheWholeReport)
{
    QTemporaryDir dir;
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    ASSERT_EQ(
        store.addLearners(
            {{QStringLiteral("1A"), 2, QStringLiteral("あおい"), QStringLiteral("ABCDEFGH"), {}},
             {QStringLiteral("1A"), 1, QStringLiteral("わたる"), QStringLiteral("JKMNPQRS"), {}},
             {QStringLiteral("1B"), 1, QStringLiteral("れん"), QStringLiteral("TUVWXYZA"), {}},
             {QStringLiteral("1B"), 2, QStringLiteral("ゆい"), QStringLiteral("BCDEFGHJ"), {}}}),
        QString());
    constexpr int Day = 24 * 60;
    for (int n = 0; n < 40; ++n) {
        // Right and wrong at one moment, over and over: the first and last
        // check of a problem go by the ids.
        addAnswer(store, QStringLiteral("1A/あおい"), n / 2 * Day / 8, n % 2, n / 2 % 5);
        addAnswer(store, QStringLiteral("1B/れん"), n * Day / 16, (n * 7) % 3 == 0 ? 0 : 1, n % 3);
    }
    addAnswer(store, QStringLiteral("1A/わたる"), 3 * Day, 0, 1);
    ASSERT_EQ(store.appendStatement(QStringLiteral("1A/わたる"), QStringLiteral("not-an-answer"),
                                    QStringLiteral("S.TXT:x"), 1'800'000'000'000, "{\"actor\":1}"),
              QString());
    const QList<Store::SchoolClass> classes = store.classes().value();
    const QDate first = LocalTime::Days().of(1'800'000'000'000);
    const QList<ReportCache::Chosen> asked = {
        {{classes.at(0).id, classes.at(1).id}, {}, {}},
        {{classes.at(0).id}, {}, {}},
        {{classes.at(0).id, classes.at(1).id}, first.addDays(1), first.addDays(2)},
    };
    for (const ReportCache::Chosen& whole : asked) {
        ReportCache cache(dir.path(), {}, QStringLiteral("全クラスの結果"));
        ReportCache::Chosen alone = whole;
        alone.gradebookOnly = true;
        const Files light = requested(cache, alone).get();
        ASSERT_EQ(light->spreadsheets.size(), 1);
        const QByteArray gradebook = light->spreadsheets.value(QStringLiteral("gradebook.csv"));
        EXPECT_EQ(
            gradebook,
            requested(cache, whole).get()->spreadsheets.value(QStringLiteral("gradebook.csv")));
        EXPECT_GE(gradebook.count("\r\n"), 3) << gradebook.constData();
    }
}

// Each learner's problems as the grade book's pass and the whole report
// count them.
QStringList countsOf(const ClassReport::Report& report)
{
    QStringList out;
    for (const ClassReport::LearnerProblem& r : report.rows) {
        out.append(QStringLiteral("%1 %2 %3: %4 %5 %6 %7 %8 %9")
                       .arg(r.learner, r.series, r.problemHash, QString::number(r.firstRight),
                            QString::number(r.showings), QString::number(r.checks),
                            QString::number(r.lastRight), QString::number(r.lastAnsweredMs),
                            QString::number(r.timeSpentMs)));
    }
    out.sort();
    return out;
}

// How many statements keep no answer beside them.
int unkept(const QString& folder)
{
    int count = -1;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(folder + QStringLiteral("/velmorant.sqlite"));
        QSqlQuery q(db);
        if (db.open() &&
            q.exec(QStringLiteral("SELECT count(*) FROM statements"
                                  " WHERE success IS NULL")) &&
            q.next()) {
            count = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return count;
}

// A store of the release before, its statements without kept answers (more
// than one batch of them), brought up to date, then new statements: among
// them one that cannot be read and one whose row names another learner,
// which keep none.
TEST(KeptAnswers, GiveTheGradeBookParsedFromTheStatements)
{
    QTemporaryDir dir;
    const QString aoi = QStringLiteral("1A/あおい");
    const QString ren = QStringLiteral("1B/れん");
    constexpr int Old = 1100;
    const auto add = [&](Store& s, int from, int to) {
        for (int n = from; n < to; ++n) {
            Answer a = answer(n % 3 ? aoi : ren, n, n % 4 == 1 ? 1 : 0, n % 5);
            a.attempt = 1 + n % 3;
            a.durationMs = 1000 + 37 * n;
            storeAnswer(s, a);
        }
    };
    const auto bare = [](Store& s, const QString& sql) {
        ASSERT_EQ(s.begin(), QString());
        ASSERT_EQ(s.execute(sql, {}), QString()) << qPrintable(sql);
        ASSERT_EQ(s.commit(), QString());
    };
    {
        Store before;
        ASSERT_EQ(before.open(dir.path(), {}), QString());
        const QList<Store::NewLearner> learners = {
            {QStringLiteral("1A"), 1, QStringLiteral("あおい"), QStringLiteral("ABCDEFGH"), {}},
            {QStringLiteral("1B"), 1, QStringLiteral("れん"), QStringLiteral("JKMNPQRS"), {}}};
        ASSERT_EQ(before.addLearners(learners), QString());
        add(before, 0, Old);
        for (const char* column : {"success", "attempt", "duration_ms"}) {
            bare(before, QStringLiteral("ALTER TABLE statements DROP COLUMN %1").arg(column));
        }
        bare(before, QStringLiteral("UPDATE schema_version SET version = 10"));
    }
    Store s;
    ASSERT_EQ(s.open(dir.path(), {}), QString());
    add(s, Old, Old + 30);
    storeAnswer(s, answer(ren, Old + 31, 0, 7), aoi);
    ASSERT_EQ(s.appendStatement(aoi, QStringLiteral("not-an-answer"), QStringLiteral("S.TXT:x"),
                                1'800'000'000'000, "{\"actor\":1}"),
              QString());
    EXPECT_EQ(unkept(dir.path()), 2);
    const QList<qint64> both = {s.classes()->at(0).id, s.classes()->at(1).id};
    const auto lean = [&] { return StoreReport::marksOfClasses(s, dir.path(), both, {}, {}); };
    const ClassReport::Report whole = StoreReport::ofClasses(s, dir.path(), both, {}, {});
    EXPECT_EQ(ReportFiles::gradebookCsv(lean()), ReportFiles::gradebookCsv(whole));
    EXPECT_EQ(countsOf(lean()), countsOf(whole));
    EXPECT_EQ(countsOf(whole).size(), 11) << qPrintable(countsOf(whole).join(u'\n'));

    // The kept answers are what the grade book reads.
    const QString flip = QStringLiteral("UPDATE statements SET success = 1 - success");
    bare(s, flip);
    EXPECT_NE(ReportFiles::gradebookCsv(lean()), ReportFiles::gradebookCsv(whole));
    bare(s, flip);
}

} // namespace
