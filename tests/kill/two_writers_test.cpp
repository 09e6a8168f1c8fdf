// Two copies of the program append to one marks file at the same time, and
// one of them also rewrites it from a table it read before any of the
// appends: every record either appended must end up in the file exactly
// once, whole, and the rewrite's own removals must hold.

#include "files/TextFile.h"
#include "kill/ReadyLine.h"
#include "marks/MarksFile.h"
#include "record/AnswerLog.h"
#include "support/TestAnswers.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace
{

constexpr int Appends = 200;

struct Child {
    pid_t pid = -1;
    int in = -1;  // its standard input: one byte starts it
    int out = -1; // its standard output
};

Child start(const std::vector<std::string>& args)
{
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::close(in[0]);
        ::close(in[1]);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv = {const_cast<char*>(MARKS_SHARER)};
        std::transform(args.begin(), args.end(), std::back_inserter(argv),
                       [](const std::string& a) { return const_cast<char*>(a.c_str()); });
        argv.push_back(nullptr);
        ::execv(MARKS_SHARER, argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    return {pid, in[1], out[0]};
}

int finish(const Child& c)
{
    int status = 0;
    ::waitpid(c.pid, &status, 0);
    ::close(c.in);
    ::close(c.out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QStringList record(const QString& question)
{
    return {question, QStringLiteral("ア,イ,"), QStringLiteral("甲,乙,"), QStringLiteral("1,2,"),
            QStringLiteral("\u3000説明")};
}

} // namespace

TEST(TwoCopies, EveryAppendedMarkIsKeptOnceAndTheRewriteHolds)
{
    const char* seedText = std::getenv("TWO_WRITERS_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                   : std::random_device{}();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    dir.setAutoRemove(false); // left for a look when the test fails
    const QString marks = dir.filePath(QLatin1String(MarksFile::FileName));

    // The placeholder and ten marked problems R1..R10.
    QList<QStringList> initial = {MarksFile::placeholderRecord()};
    for (int i = 1; i <= 10; ++i) {
        initial.append(record(QStringLiteral("問題R%1\u3000最初からあるマーク").arg(i)));
    }
    QByteArray bytes;
    for (const QStringList& r : initial) {
        bytes += TestFiles::lines(r);
    }
    TestFiles::write(marks, bytes);

    QElapsedTimer clock;
    clock.start();
    const std::string folder = dir.path().toStdString();
    const std::string count = std::to_string(Appends);
    // A rewrites from the table it read before anyone appended, halfway
    // through its appends, while B goes on appending.
    const Child a = start(
        {folder, "A", count, std::to_string(seed), "rewrite-after", std::to_string(Appends / 2)});
    const Child b = start({folder, "B", count, std::to_string(seed + 1)});
    ASSERT_GT(a.pid, 0);
    ASSERT_GT(b.pid, 0);
    const bool ready = readReadyLine(a.out) && readReadyLine(b.out);
    ASSERT_EQ(::write(a.in, "g", 1), 1);
    ASSERT_EQ(::write(b.in, "g", 1), 1);
    const int exitA = finish(a);
    const int exitB = finish(b);
    ASSERT_TRUE(ready);
    ASSERT_EQ(exitA, 0) << "seed " << seed << "; folder kept: " << folder;
    ASSERT_EQ(exitB, 0) << "seed " << seed << "; folder kept: " << folder;

    // Whole records of CR LF lines in code page 932.
    const QByteArray after = TestFiles::readAll(marks);
    const TextFile::ReadResult text = TextFile::decode(after);
    ASSERT_TRUE(text.ok()) << "line " << text.badLine;
    ASSERT_EQ(text.lines.size() % MarksFile::LinesPerRecord, 0);
    EXPECT_TRUE(after.endsWith("\r\n"));
    EXPECT_EQ(after.count("\r\n"), text.lines.size());
    EXPECT_EQ(after.count('\r'), text.lines.size());
    EXPECT_EQ(after.count('\n'), text.lines.size());

    QList<QStringList> records;
    for (qsizetype i = 0; i < text.lines.size(); i += MarksFile::LinesPerRecord) {
        QStringList r;
        for (int j = 0; j < MarksFile::LinesPerRecord; ++j) {
            r.append(text.lines.at(i + j).text);
        }
        records.append(r);
    }
    ASSERT_FALSE(records.isEmpty());
    EXPECT_EQ(records.first(), initial.first()) << "the placeholder stays first";

    // Each record exactly once, appended ones whole and in their writer's order.
    std::map<QString, int> times;
    std::map<QString, int> lastOf; // highest number seen so far per writer
    for (qsizetype i = 1; i < records.size(); ++i) {
        const QStringList& r = records.at(i);
        times[r.first()] += 1;
        if (r.first().startsWith(QStringLiteral("問題R"))) {
            EXPECT_EQ(r, record(r.first()));
            continue;
        }
        const QString who = r.first().mid(2, 1);
        const int n = r.first().mid(3).section(QChar(0x3000), 0, 0).toInt();
        ASSERT_TRUE((who == QLatin1String("A") || who == QLatin1String("B")) && n >= 1 &&
                    n <= Appends)
            << "unexpected record " << r.first().toStdString();
        EXPECT_EQ(r.at(1), QStringLiteral("ウニ,ヒトデ,カニ,"));
        EXPECT_EQ(r.at(2), QStringLiteral("棘皮動物,節足動物,"));
        EXPECT_EQ(r.at(3), QStringLiteral("1,1,2,"));
        EXPECT_EQ(r.at(4), QStringLiteral("\u3000%1の%2番目の説明～①").arg(who).arg(n));
        EXPECT_GT(n, lastOf[who]) << "the appends of " << who.toStdString() << " out of order";
        lastOf[who] = n;
    }
    int missing = 0;
    int doubled = 0;
    for (const QString& who : {QStringLiteral("A"), QStringLiteral("B")}) {
        for (int n = 1; n <= Appends; ++n) {
            const int t =
                times[QStringLiteral("問題%1%2\u3000ほかの生徒が付けたマーク").arg(who).arg(n)];
            missing += t == 0 ? 1 : 0;
            doubled += t > 1 ? 1 : 0;
        }
    }
    EXPECT_EQ(missing, 0) << "seed " << seed << "; folder kept: " << folder;
    EXPECT_EQ(doubled, 0) << "seed " << seed << "; folder kept: " << folder;
    // The rewrite removed R2 and R7 and kept the rest of what it read.
    for (int i = 1; i <= 10; ++i) {
        const int t = times[QStringLiteral("問題R%1\u3000最初からあるマーク").arg(i)];
        EXPECT_EQ(t, i == 2 || i == 7 ? 0 : 1) << "R" << i;
    }
    EXPECT_EQ(records.size(), 1 + 8 + 2 * Appends);
    EXPECT_FALSE(QFile::exists(dir.filePath(QLatin1String(MarksFile::DamagedFileName))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QLatin1String(MarksFile::LockFileName))));

    dir.setAutoRemove(!HasFailure());
    std::printf("two copies: %d appends each and a rewrite in %.1f s (seed %u)\n", Appends,
                static_cast<double>(clock.elapsed()) / 1000.0, seed);
}

// Two copies append answers to one learner's log at the same time: every
// line is a whole answer, and each one of both is there exactly once, in
// its writer's order.
TEST(TwoCopies, EveryAppendedAnswerIsKeptOnce)
{
    const char* seedText = std::getenv("TWO_WRITERS_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                   : std::random_device{}();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    dir.setAutoRemove(false); // left for a look when the test fails
    const std::string folder = dir.path().toStdString();
    const std::string count = std::to_string(Appends);
    const Child a = start({folder, "A", count, std::to_string(seed), "answers"});
    const Child b = start({folder, "B", count, std::to_string(seed + 1), "answers"});
    ASSERT_GT(a.pid, 0);
    ASSERT_GT(b.pid, 0);
    const bool ready = readReadyLine(a.out) && readReadyLine(b.out);
    ASSERT_EQ(::write(a.in, "g", 1), 1);
    ASSERT_EQ(::write(b.in, "g", 1), 1);
    const int exitA = finish(a);
    const int exitB = finish(b);
    ASSERT_TRUE(ready);
    ASSERT_EQ(exitA, 0) << "seed " << seed << "; folder kept: " << folder;
    ASSERT_EQ(exitB, 0) << "seed " << seed << "; folder kept: " << folder;

    const AnswerLog log(dir.path(), QStringLiteral("共有"));
    const LogRead read = log.read();
    EXPECT_TRUE(read.findings.isEmpty()) << read.findings.value(0).message.toStdString();
    EXPECT_EQ(read.end, QFileInfo(log.path()).size());
    std::map<QString, std::vector<long long>> numbers;
    for (const Answer& answer : read.answers) {
        QString writer;
        long long n = 0;
        ASSERT_TRUE(numberOf(answer, &writer, &n));
        numbers[writer].push_back(n);
    }
    for (const char* writer : {"A", "B"}) {
        std::vector<long long> expected(Appends);
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(numbers[QString::fromLatin1(writer)], expected)
            << writer << ": lost, doubled or out of order; seed " << seed;
    }
    EXPECT_EQ(read.answers.size(), 2 * Appends);
    EXPECT_FALSE(QFile::exists(log.path() + QStringLiteral(".damaged")));
    dir.setAutoRemove(!HasFailure());
}
