#include "check/CheckRun.h"
#include "record/ClassParameters.h"
#include "server/store/SignInCodes.h"
#include "server/store/Store.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// --retention keeps the recall the class's intervals aim at, within its
// bounds; a kept file that cannot be used is named by the folder's check,
// and --due says it schedules with the defaults.
TEST(CheckFit, TheRetentionIsKeptAndAWrongFileIsNamed)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(QStringLiteral("ZQCList.TXT")), "");
    const CheckRun set = check({QStringLiteral("--retention"), QStringLiteral("0.85"), dir.path()});
    EXPECT_EQ(set.exitCode, 0) << qPrintable(set.errors);
    const ClassParameters::Kept kept = ClassParameters::read(dir.path());
    EXPECT_EQ(kept.parameters.retention, 0.85);
    EXPECT_EQ(kept.parameters.w, Fsrs::DefaultWeights);
    EXPECT_FALSE(kept.fitted());

    for (const QStringList& wrong : {QStringList{QStringLiteral("--retention=0.5")},
                                     {QStringLiteral("--retention=九割")},
                                     {QStringLiteral("--json")},
                                     {QStringLiteral("--fit"), QStringLiteral("--watch")}}) {
        const CheckRun refused = check(wrong + QStringList{dir.path()});
        EXPECT_EQ(refused.exitCode, 2) << qPrintable(wrong.join(' '));
        EXPECT_FALSE(refused.errors.isEmpty());
    }
    EXPECT_EQ(ClassParameters::read(dir.path()).parameters.retention, 0.85);
    EXPECT_TRUE(check({QStringLiteral("--due"), dir.path()})
                    .errors.contains(QStringLiteral("velmorant-check: 復習の予定: FSRS-6 の"
                                                    "標準のパラメーター、目指す思い出せる見込み "
                                                    "0.85\n")));

    TestFiles::write(ClassParameters::path(dir.path()), "{\"parameters\": [1, 2]}");
    const CheckRun checked = check({dir.path()});
    EXPECT_EQ(checked.exitCode, 1);
    EXPECT_EQ(
        checked.lines.filter(QStringLiteral("/records/.fsrs-parameters.json:1: error: 「")).size(),
        1)
        << qPrintable(checked.lines.join('\n'));
    const CheckRun due = check({QStringLiteral("--due"), dir.path()});
    EXPECT_TRUE(due.errors.contains(QStringLiteral("parameters が 21 個の数ではありません")))
        << qPrintable(due.errors);
    EXPECT_TRUE(
        due.errors.contains(QStringLiteral("標準のパラメーター、目指す思い出せる見込み 0.90")));
}

// On a server's folder of two classes the class is asked for (in
// Japanese) and one class's retention is kept in the store for it alone;
// --class on a desktop's folder is refused.
TEST(CheckFit, AServersClassIsNamedAndKeptInTheStore)
{
    QTemporaryDir dir;
    TestFiles::write(dir.filePath(QStringLiteral("ZQCList.TXT")), "");
    qint64 first = 0, second = 0;
    {
        Store store;
        ASSERT_EQ(store.open(dir.path(), {}), QString());
        ASSERT_EQ(
            store.addLearners(
                {{QStringLiteral("1A"), 1, QStringLiteral("青井"), SignInCodes::newCode(), {}},
                 {QStringLiteral("1B"), 1, QStringLiteral("赤木"), SignInCodes::newCode(), {}}}),
            QString());
        first = store.classes()->at(0).id;
        second = store.classes()->at(1).id;
    }
    const CheckRun unnamed = check({QStringLiteral("--retention=0.8"), dir.path()});
    EXPECT_EQ(unnamed.exitCode, 2);
    EXPECT_TRUE(unnamed.errors.contains(
        QStringLiteral("クラスが2つあります。--class でクラスを指定してください")))
        << qPrintable(unnamed.errors);
    EXPECT_TRUE(check({QStringLiteral("--fit"), QStringLiteral("--class=1C"), dir.path()})
                    .errors.contains(QStringLiteral("クラス「1C」はありません")));

    const CheckRun named = check({QStringLiteral("--retention=0.8"), QStringLiteral("--class"),
                                  QStringLiteral("1B"), dir.path()});
    EXPECT_EQ(named.exitCode, 0) << qPrintable(named.errors);
    Store store;
    ASSERT_EQ(store.open(dir.path(), {}), QString());
    EXPECT_TRUE(store.classParameters(first)->kept.isEmpty());
    ClassParameters::Kept kept;
    EXPECT_EQ(ClassParameters::fromJson(store.classParameters(second)->kept, &kept), QString());
    EXPECT_EQ(kept.parameters.retention, 0.8);
    EXPECT_FALSE(QFileInfo::exists(ClassParameters::path(dir.path())));

    QTemporaryDir desktop;
    TestFiles::write(desktop.filePath(QStringLiteral("ZQCList.TXT")), "");
    EXPECT_EQ(
        check({QStringLiteral("--fit"), QStringLiteral("--class=1A"), desktop.path()}).exitCode, 2);
}
