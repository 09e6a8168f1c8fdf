// Kills a process that keeps writing the marks file at random moments and
// checks that the file is always one whole state the writer meant to
// produce: the last one it finished or the one it was writing, never a mix
// and never a cut record.

#include "files/TextFile.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"
#include "kill/ReadyLine.h"
#include "marks/MarksFile.h"
#include "support/Fakes.h"

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

Child start(const QString& dir, long long counter, bool rewriteFirst)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    const std::string folder = dir.toStdString();
    const std::string first = std::to_string(counter);
    const char* firstWrite = rewriteFirst ? "rewrite" : "append";
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
        const Child child = start(dir.path(), 1000LL * trial, rewriteFirst);
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
            MainScreen form(state, measure, players, dialogs, dir.path());
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
