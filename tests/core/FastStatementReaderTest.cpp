#include "record/FastStatementReader.h"
#include "record/StatementIds.h"
#include "record/Statements.h"

#include <QByteArray>
#include <QSet>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace
{

Answer sample(int n)
{
    Answer a;
    a.learner = n % 2 == 0 ? QStringLiteral("山田 太郎") : QStringLiteral("hanako");
    a.learnerName = a.learner;
    a.series = QStringLiteral("Seibutsu1.txt");
    a.problemHash =
        n % 3 == 0 ? QStringLiteral("0123456789abcdef") : QStringLiteral("fedcba9876543210");
    a.heading = QStringLiteral("問題%1").arg(n % 3 == 0 ? 1 : 2);
    a.question = QStringLiteral("次の「生物」を, \"門\" に分類しなさい。\\");
    a.terms = {QStringLiteral("ウニ"), QStringLiteral("カニ"), QStringLiteral("ヒトデ")};
    a.groups = {QStringLiteral("棘皮動物"), QStringLiteral("節足動物")};
    a.correct = {1, 2, 1};
    a.placed = n % 2 == 0 ? QList<int>{1, 2, 1} : QList<int>{2, 2, 1};
    a.right = n % 2 == 0 ? 3 : 2;
    a.success = n % 2 == 0;
    a.durationMs = 1000 + n;
    a.timestampMs = 1796700191123 + n * 60000LL;
    a.id = QUuid::fromString(
        QStringLiteral("6f1e2d3c-4b5a-4978-8695-a4b3c2d1e0%1").arg(n, 2, 10, QLatin1Char('0')));
    a.attempt = n % 3 + 1;
    return a;
}

QByteArray replaced(int n, const char* from, const char* to)
{
    QByteArray line = Statements::line(sample(n));
    EXPECT_TRUE(line.contains(from)) << from;
    return line.replace(from, to);
}

} // namespace

// Each line read by both readers, one after another as a log holds them, so
// that the fast one has met the actor and the problem before and takes its
// own way wherever it can: the answers and the reasons must be the same.
TEST(FastStatementReader, GivesWhatStatementReaderGivesLineForLine)
{
    std::vector<QByteArray> lines;
    for (int n = 0; n < 6; ++n) {
        lines.push_back(Statements::line(sample(n)));
    }
    // An answer of a class round names it.
    Answer inRound = sample(5);
    inRound.registration = QStringLiteral("0c9d8e7f-6a5b-4c3d-8e2f-1a0b9c8d7e6f");
    lines.push_back(Statements::line(inRound));
    EXPECT_EQ(FastStatementReader().parse(lines.back(), nullptr, lines.back().size())->registration,
              inRound.registration);
    const std::vector<QByteArray> changed = {
        replaced(6, "\"raw\":3", "\"raw\":2"),
        replaced(6, "\"raw\":3", "\"raw\":3.0"),
        replaced(6, "\"max\":3", "\"max\":4"),
        replaced(6, "\"min\":0", "\"min\":-0"),
        replaced(6, "\"success\":true", "\"success\":false"),
        replaced(7, "\"success\":false", "\"success\":0"),
        replaced(6, "response\":\"1[.]1[,]2[.]2[,]3[.]1", "response\":\"1[.]1[,]2[.]2[,]3[.]1[,]"),
        replaced(6, "response\":\"1[.]1[,]2[.]2[,]3[.]1", "response\":\"3[.]1[,]1[.]1[,]2[.]2"),
        replaced(6, "response\":\"1[.]1[,]2[.]2[,]3[.]1", "response\":\"1[.]1[,]2[.]2[,]3[.]01"),
        replaced(6, "\"PT1.006S\"", "\"PT1M0.006S\""),
        replaced(6, "\"PT1.006S\"", "\"PT1.S\""),
        replaced(6, ".123Z\"", ".123+09:00\""),
        replaced(6, ".123Z\"", ".123\""),
        replaced(6, "{\"urn:velmorant:attempt\":1}", "{\"urn:velmorant:attempt\":0}"),
        replaced(6, "{\"urn:velmorant:attempt\":1}", "{\"urn:velmorant:attempt\":1,\"x\":1}"),
        replaced(6, "\"version\":\"1.0.3\"", "\"version\":\"1.1.0\""),
        replaced(6, "\"version\":\"1.0.3\"", "\"version\":\"1.0.3\",\"version\":\"2.0\""),
        replaced(6, "\"version\":\"1.0.3\"", "\"version\":\"1.0.3\",\"stored\":[1,2,tru]"),
        replaced(6, "\"version\":\"1.0.3\"", "\"\\u0076ersion\":\"1.0.\\u0033\""),
        replaced(6, "\"version\":\"1.0.3\"", "\"version\":\"1.0.3\t\""),
        replaced(6, "a4b3c2d1e006", "a4b3c2d1e0６"),
        replaced(6, "6f1e2d3c-4b5a-4978-8695-a4b3c2d1e006", "00000000-0000-0000-0000-000000000000"),
        replaced(6, "\"name\":\"山田 太郎\"", "\"name\":\"山田 花子\""),
        replaced(6, "\"ja\":\"ウニ\"", "\"ja\":\"ウ\\u30cb\""),
        replaced(6, "\"ja\":\"ウニ\"", "\"ja\":7"),
        replaced(6, "\"answered\"", "\"answered\" "),
        Statements::line(sample(6)) + " ",
        Statements::line(sample(6)) + "}",
        Statements::line(sample(6)).chopped(1),
        " \r" + Statements::line(sample(6)),
        "[" + Statements::line(sample(6)) + "]",
        "",
    };
    lines.insert(lines.end(), changed.begin(), changed.end());

    FastStatementReader fast;
    StatementReader slow;
    int taken = 0;
    for (const QByteArray& line : lines) {
        QString fastWhy;
        QString slowWhy;
        const std::optional<Answer> a = fast.parse(line, &fastWhy, line.size());
        const std::optional<Answer> b = slow.parse(line, &slowWhy);
        EXPECT_EQ(a.has_value(), b.has_value()) << line.toStdString();
        if (a && b) {
            EXPECT_EQ(*a, *b) << line.toStdString();
            ++taken;
        }
        EXPECT_EQ(fastWhy, slowWhy) << line.toStdString();
    }
    EXPECT_GE(taken, 12); // the good lines and the changes that are still statements
}

// Ids that count up in a few bytes anywhere in the id must still spread over
// the buckets of a hash table: a folded hash sends them to a few buckets and
// makes a year of a class's answers quadratic to tell apart.
TEST(StatementIds, SequentialIdsSpreadOverTheBuckets)
{
    const std::vector<std::function<QUuid(uint)>> counters = {
        [](uint n) { return QUuid(n, 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 0); },
        [](uint n) { return QUuid(0, 0, ushort(0x4000 | n >> 8), uchar(n), 0, 0, 0, 0, 0, 0, 0); },
        [](uint n) {
            return QUuid(n, 0, 0x4000, 0x80, 0, 0, 0, uchar(n >> 16), uchar(n >> 8), uchar(n), 0);
        },
        [](uint n) {
            return QUuid(0, 0, 0x4000, 0x80, 0, 0, 0, 0, uchar(n >> 16), uchar(n >> 8), uchar(n));
        },
    };
    for (std::size_t c = 0; c < counters.size(); ++c) {
        QSet<std::size_t> buckets;
        for (uint n = 0; n < 65536; ++n) {
            buckets.insert(StatementIdHash()(counters[c](n)) & 0xffff);
        }
        // Random hashes fill about 63 % of as many buckets as ids.
        EXPECT_GT(buckets.size(), 39000) << "counter " << c;
    }
}
