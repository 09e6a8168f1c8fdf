#include "check/CheckRun.h"
#include "record/ClassParameters.h"
#include "support/TestFiles.h"

#include <QDir>
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
