// Kills a process that keeps writing the marks file at random moments and
// checks that the file is always one whole state the writer meant to
// produce: the last one it finished or the one it was writing, never a mix
// and never a cut record.

#include "files/TextFile.h"
#include "kill/ReadyLine.h"
#include "marks/MarksFile.h"
#include "record/AnswerLog.h"
#include "record/Statements.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"
#include "support/Fakes.h"
#include "support/TestAnswers.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace
{

std::optional<QByteArray> readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return f.readAll();
}

struct Child {
    pid_t pid = -1;
    int out = -1; // its standard output
};

// mode: the writer's last argument (append, rewrite or answers).
Child start(const QString& dir, long long counter, const char* firstWrite)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    const std::string folder = dir.toStdString();
    const std::string first = std::to_string(counter);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl(MARKS_WRITER, MARKS_WRITER, folder.c_str(), first.c_str(), firstWrite, nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

QString describe(const std::optional<QByteArray>& bytes)
{
    if (!bytes) {
        return QStringLiteral("no file");
    }
    const TextFile::ReadResult text = TextFile::decode(*bytes);
    QStringList questions;
    for (qsizetype i = 0; i < text.lines.size(); i += MarksFile::LinesPerRecord) {
        questions.append(text.lines.at(i).text.section(QChar(0x3000), 0, 0));
    }
    return QStringLiteral("%1 (%2 bytes): %3")
        .arg(QString::fromLatin1(
            QCryptographicHash::hash(*bytes, QCryptographicHash::Sha1).toHex().left(10)))
        .arg(bytes->size())
        .arg(questions.join(QLatin1Char(' ')));
}

} // namespace

TEST(Kill, MarksFileIsAlwaysOneWholeAnnouncedState)
{
    const char* seedText = std::getenv("KILL_TEST_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                   : std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> waitMicros(1000, 20000);
    constexpr int Trials = 250;

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Left for a look when the test fails.
    dir.setAutoRemove(false);
    const QString marks = dir.filePath(QLatin1String(MarksFile::FileName));
    QElapsedTimer clock;
    clock.start();

    std::optional<QByteArray> previous; // no file before the first trial
    std::map<QByteArray, int> seen;     // each distinct state, by its bytes
    int atLast = 0;                     // trials that ended on the last announced state
    int atEarlier = 0;                  // ... on the state before it
    long long announcedTotal = 0;
    int inAppend = 0;  // trials whose last announced write was an append
    int inRewrite = 0; // ... a rewrite

    for (int trial = 0; trial < Trials; ++trial) {
        for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("expected-*.bin")})) {
            QFile::remove(dir.filePath(name));
        }
        // Every other trial starts with a rewrite, so that kills land in
        // both kinds of write.
        const bool rewriteFirst = trial % 2 == 1;
        const Child child = start(dir.path(), 1000LL * trial, rewriteFirst ? "rewrite" : "append");
        ASSERT_GT(child.pid, 0);
        const bool ready = readReadyLine(child.out);
        if (ready) {
            std::this_thread::sleep_for(std::chrono::microseconds(waitMicros(random)));
        }
        ::kill(child.pid, SIGKILL);
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        ::close(child.out);
        ASSERT_TRUE(ready) << "the writer did not start in trial " << trial << " (wait status "
                           << status << ")";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer stopped by itself (exit " << WEXITSTATUS(status) << ") in trial "
            << trial << ", seed " << seed << "; folder kept: " << dir.path().toStdString();

        int last = -1;
        while (QFile::exists(dir.filePath(QStringLiteral("expected-%1.bin").arg(last + 1)))) {
            ++last;
        }
        announcedTotal += last + 1;
        const std::optional<QByteArray> now = readFile(marks);
        const std::optional<QByteArray> newest =
            last >= 0 ? readFile(dir.filePath(QStringLiteral("expected-%1.bin").arg(last)))
                      : std::nullopt;
        const std::optional<QByteArray> before =
            last >= 1 ? readFile(dir.filePath(QStringLiteral("expected-%1.bin").arg(last - 1)))
                      : previous;
        const bool isNewest = newest && now == newest;
        const bool isBefore = now == before;
        ASSERT_TRUE(isNewest || isBefore)
            << "trial " << trial << " (seed " << seed << "): after " << last + 1
            << " announced writes the file is " << describe(now).toStdString()
            << "\nlast announced: " << describe(newest).toStdString()
            << "\nbefore it: " << describe(before).toStdString();
        if (last >= 0) {
            const bool rewriting = (last % 2 == 0) == rewriteFirst;
            (rewriting ? inRewrite : inAppend) += 1;
        }
        atLast += isNewest ? 1 : 0;
        atEarlier += isNewest ? 0 : 1;

        if (now) {
            // Whole records of CR LF lines, which the program reads without
            // complaint.
            const TextFile::ReadResult text = TextFile::decode(*now);
            ASSERT_TRUE(text.ok());
            EXPECT_EQ(text.lines.size() % MarksFile::LinesPerRecord, 0);
            EXPECT_TRUE(now->isEmpty() || now->endsWith("\r\n"));
            SeriesState state;
            FakeMeasure measure;
            FakePlayers players;
            FakeDialogs dialogs;
            MarksStore store(dir.path());
            MainScreen form(state, measure, players, dialogs, dir.path(), store);
            state.catalog[0][1] = QString::fromLatin1(MarksFile::FileName);
            EXPECT_EQ(ReadMarksFile(form), text.lines.size() / MarksFile::LinesPerRecord - 1);
            EXPECT_TRUE(form.prompts.isEmpty());
            seen[*now] += 1;
        }
        previous = now;
    }

    // A kill part-way through a write leaves the unfinished temporary file
    // behind; it never stands in for the marks file.
    QStringList strays = QDir(dir.path()).entryList({QStringLiteral("Marked.txt.*")}, QDir::Files);
    // The lock file of a writer killed while holding it is not a temporary file.
    strays.removeAll(QString::fromLatin1(MarksFile::LockFileName));
    dir.setAutoRemove(!HasFailure());
    std::printf("kill test: %d trials in %.1f s (seed %u), %lld writes announced\n", Trials,
                static_cast<double>(clock.elapsed()) / 1000.0, seed, announcedTotal);
    std::printf("kill test: %lld unfinished temporary files left by kills\n",
                static_cast<long long>(strays.size()));
    std::printf("kill test: the file held the last announced state in %d trials, the one "
                "before it in %d\n",
                atLast, atEarlier);
    std::printf("kill test: the last announced write was an append in %d trials, a rewrite "
                "in %d\n",
                inAppend, inRewrite);
    std::printf("kill test: %zu distinct states seen:\n", seen.size());
    for (const auto& [bytes, times] : seen) {
        std::printf("  %dx %s\n", times, qPrintable(describe(bytes)));
    }
}

namespace
{

// What a killed writer said: "acked N" for every answer it wrote.
std::set<long long> acknowledged(int fd)
{
    std::string out;
    char buffer[4096];
    for (ssize_t n = 0; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<size_t>(n));
    }
    std::set<long long> acked;
    for (const QString& line : QString::fromStdString(out).split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("acked "))) {
            acked.insert(line.mid(6).toLongLong());
        }
    }
    return acked;
}

} // namespace

// A writer of the answer log is killed at random moments, and every third
// trial finds the log ending in a line cut short, as a kill part-way through
// a write leaves it. Every answer it acknowledged is in the log, none twice,
// every line is whole, and every cut line is kept aside.
TEST(Kill, AnswerLogHoldsEveryAcknowledgedAnswerOnceAndOnlyWholeLines)
{
    const char* seedText = std::getenv("KILL_TEST_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                   : std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> waitMicros(1000, 60000);
    constexpr int Trials = 120;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    dir.setAutoRemove(false); // left for a look when the test fails
    const AnswerLog log(dir.path(), QStringLiteral("生徒"));
    std::set<long long> acked;
    QList<QByteArray> cuts;
    for (int trial = 0; trial < Trials; ++trial) {
        if (trial % 3 == 2) {
            QByteArray cut = Statements::line(
                numberedAnswer(QStringLiteral("生徒"), QStringLiteral("X"), trial));
            cut.truncate(static_cast<qsizetype>(random() % static_cast<unsigned>(cut.size() - 1)) +
                         1);
            QFile file(log.path());
            ASSERT_TRUE(file.open(QIODevice::Append) && file.write(cut) == cut.size());
            cuts.append(cut);
        }
        const Child child = start(dir.path(), 1000LL * trial, "answers");
        ASSERT_GT(child.pid, 0);
        const bool ready = readReadyLine(child.out);
        if (ready) {
            std::this_thread::sleep_for(std::chrono::microseconds(waitMicros(random)));
        }
        ::kill(child.pid, SIGKILL);
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        const std::set<long long> now = acknowledged(child.out);
        ::close(child.out);
        ASSERT_TRUE(ready && WIFSIGNALED(status))
            << "trial " << trial << ", wait status " << status;
        acked.insert(now.begin(), now.end());

        const LogRead read = log.read();
        ASSERT_TRUE(read.findings.isEmpty())
            << "trial " << trial << " (seed " << seed << "): line " << read.findings.first().line
            << ": " << read.findings.first().message.toStdString();
        std::map<long long, int> times;
        for (const Answer& a : read.answers) {
            QString writer;
            long long n = 0;
            ASSERT_TRUE(numberOf(a, &writer, &n) && writer == QStringLiteral("W"));
            ASSERT_EQ(++times[n], 1) << "answer " << n << " twice, trial " << trial;
        }
        for (const long long n : acked) {
            ASSERT_EQ(times.count(n), 1u) << "acknowledged answer " << n << " missing, trial "
                                          << trial << " (seed " << seed << ")";
        }
    }
    // Each cut line is aside, or still the log's unread end.
    const QByteArray aside = TestFiles::readAll(log.path() + QStringLiteral(".damaged"));
    const QByteArray tail = TestFiles::readAll(log.path()).mid(log.read().end);
    for (const QByteArray& cut : cuts) {
        EXPECT_TRUE(aside.contains(cut) || tail.contains(cut)) << cut.toStdString();
    }
    dir.setAutoRemove(!HasFailure());
    std::printf("kill test: %d trials (seed %u), %zu answers acknowledged, %lld cut lines set "
                "aside\n",
                Trials, seed, acked.size(), static_cast<long long>(aside.count('\n')));
}
