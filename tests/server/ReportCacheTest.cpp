// The teacher's report built on its own thread: the same bytes as a report
// made there and then, built once for requests made together, and again
// after a new statement.
#include "server/teacher/ReportCache.h"
#include "record/Statements.h"
#include "report/ReportFiles.h"
#include "server/store/Store.h"
#include "server/store/StoreReport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

namespace
{

using Files = std::shared_ptr<const ReportCache::Files>;

void addAnswer(Store& store, const QString& learner, int n, int wrong)
{
    Answer a;
    a.learner = a.learnerName = learner;
    a.series = QStringLiteral("S.TXT");
    a.problemHash = QStringLiteral("%1-1").arg(n, 16, 16, QLatin1Char('0'));
    a.heading = QStringLiteral("問題%1").arg(n);
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
    ASSERT_EQ(store.appendStatement(learner, a.id.toString(QUuid::WithoutBraces), a.problemId(),
                                    a.timestampMs, Statements::line(a)),
              QString());
}

// Every class's report, or that of `classIds`.
std::future<Files> requested(ReportCache& cache, const QList<qint64>& classIds)
{
    auto promise = std::make_shared<std::promise<Files>>();
    cache.files(classIds, [promise](Files files, const QString& failure) {
        EXPECT_EQ(failure, QString());
        promise->set_value(std::move(files));
    });
    return promise->get_future();
}

void expectAsBuiltNow(const Files& files, Store& store, const QString& folder)
{
    ASSERT_TRUE(files);
    const ClassReport::Report report = StoreReport::of(store, folder);
    // The store's one class names the page.
    EXPECT_EQ(files->page,
              ReportFiles::indexHtml(
                  report, QStringLiteral("%1の結果").arg(store.classes().value().first().name)));
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
    const QList<qint64> all = {store.classes().value().first().id};
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
    const Files a = requested(cache, {classes.at(0).id}).get();
    const Files b = requested(cache, {classes.at(1).id}).get();
    const QString aRows = QString::fromUtf8(a->spreadsheets.value(QStringLiteral("results.csv")));
    const QString bRows = QString::fromUtf8(b->spreadsheets.value(QStringLiteral("results.csv")));
    EXPECT_TRUE(aRows.contains(QStringLiteral("1A あおい,"))) << qPrintable(aRows);
    EXPECT_FALSE(aRows.contains(QStringLiteral("れん"))) << qPrintable(aRows);
    EXPECT_TRUE(bRows.contains(QStringLiteral("1B れん,")) &&
                !bRows.contains(QStringLiteral("あおい")))
        << qPrintable(bRows);
    EXPECT_TRUE(QString::fromUtf8(a->page).contains(QStringLiteral("1Aの結果")));
}

} // namespace
