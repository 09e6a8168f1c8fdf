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

std::future<Files> requested(ReportCache& cache)
{
    auto promise = std::make_shared<std::promise<Files>>();
    cache.files([promise](Files files, const QString& failure) {
        EXPECT_EQ(failure, QString());
        promise->set_value(std::move(files));
    });
    return promise->get_future();
}

void expectAsBuiltNow(const Files& files, Store& store, const QString& folder)
{
    ASSERT_TRUE(files);
    const ClassReport::Report report = StoreReport::of(store, folder);
    EXPECT_EQ(files->page, ReportFiles::indexHtml(report, QStringLiteral("クラスの結果")));
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
    ReportCache cache(dir.path(), {}, QStringLiteral("クラスの結果"));
    std::future<Files> first = requested(cache);
    std::future<Files> together = requested(cache);
    const Files built = first.get();
    expectAsBuiltNow(built, store, dir.path());
    EXPECT_EQ(together.get(), built) << "built once for both";
    EXPECT_EQ(requested(cache).get(), built) << "nothing new: the same files";

    addAnswer(store, QStringLiteral("aoi"), 1, 0);
    const Files again = requested(cache).get();
    EXPECT_NE(again, built);
    EXPECT_NE(again->spreadsheets.value(QStringLiteral("results.csv")),
              built->spreadsheets.value(QStringLiteral("results.csv")));
    expectAsBuiltNow(again, store, dir.path());
}

} // namespace
