#include "record/LearnerRecord.h"
#include "support/TestAnswers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>

// The log read on another thread while the learner answers: every answer
// counts once, those read ahead, the one added meanwhile and one another
// copy appended after the read.
TEST(LearnerRecord, AReadAheadCountsEveryAnswerOnce)
{
    QTemporaryDir dir;
    const QString learner = QStringLiteral("hanako");
    AnswerLog other(dir.path(), learner);
    for (int n = 1; n <= 200; ++n) {
        ASSERT_EQ(other.append(numberedAnswer(learner, QStringLiteral("A"), n)), QString());
    }
    LearnerRecord record(dir.path(), learner, learner);
    std::atomic<int> done = 0;
    record.readAhead([&done] { ++done; });
    const Answer mine = numberedAnswer(learner, QStringLiteral("B"), 1);
    record.count(mine);
    ASSERT_EQ(record.store(mine), QString());
    EXPECT_TRUE(record.readAheadDone());
    EXPECT_EQ(done, 1);
    ASSERT_EQ(other.append(numberedAnswer(learner, QStringLiteral("A"), 201)), QString());
    EXPECT_TRUE(record.refresh().isEmpty());
    EXPECT_EQ(record.answers().size(), 202);
}
