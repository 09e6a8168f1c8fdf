// One of two copies of the program sharing a marks file: appends marked
// problems with short random pauses, and with "rewrite-after N" also loads
// the marked series first and, after its Nth append, leaves it having
// removed two marks, so that the file is rewritten from the table read
// before any of the appends.
//
//   marks_sharer <working folder> <name> <appends> <seed> [rewrite-after N]
//   marks_sharer <working folder> <name> <appends> <seed> answers
//
// The second form appends answers to the learner 共有's log instead, each
// named by the copy's name and its number.
//
// Prints "ready" when it is set up and starts at the first byte on its
// standard input. Exits with 3 when a write fails or anything is told.

#include "marks/MarksFile.h"
#include "record/AnswerLog.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"
#include "support/Fakes.h"
#include "support/TestAnswers.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

namespace
{

[[noreturn]] void die(const QString& what)
{
    std::fprintf(stderr, "marks_sharer: %s\n", what.toLocal8Bit().constData());
    std::exit(3);
}

// The rows the rewriting copy unmarks; the test expects them gone.
constexpr int Unmarked[] = {2, 7};
// Appended problems go to a row the marked series never fills.
constexpr int AppendRow = SeriesState::SeriesRows - 1;

} // namespace

void waitForStart()
{
    std::printf("ready\n");
    std::fflush(stdout);
    char go = 0;
    if (std::fread(&go, 1, 1, stdin) != 1) {
        die(QStringLiteral("no start signal"));
    }
}

int appendAnswers(const QString& folder, const QString& name, int appends, std::mt19937& random)
{
    AnswerLog log(folder, QStringLiteral("共有"));
    waitForStart();
    std::uniform_int_distribution<int> pauseMicros(0, 3000);
    for (int i = 1; i <= appends; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros(random)));
        const QString failed = log.append(numberedAnswer(QStringLiteral("共有"), name, i));
        if (!failed.isEmpty()) {
            die(QStringLiteral("answer %1 failed: %2").arg(i).arg(failed));
        }
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[5], "answers") == 0) {
        std::mt19937 random(static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
        return appendAnswers(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                             std::atoi(argv[3]), random);
    }
    if (argc != 5 && argc != 7) {
        std::fprintf(stderr, "usage: marks_sharer <folder> <name> <appends> <seed> "
                             "[rewrite-after N | answers]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    const int appends = std::atoi(argv[3]);
    std::mt19937 random(static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
    const int rewriteAfter = argc == 7 ? std::atoi(argv[6]) : -1;

    SeriesState state;
    FakeMeasure measure;
    FakePlayers players;
    FakeDialogs dialogs;
    MarksStore marks(folder);
    MainScreen form(state, measure, players, dialogs, folder, marks);
    state.catalog[0][1] = QString::fromLatin1(MarksFile::FileName);
    if (rewriteAfter >= 0) {
        state.problemCount = ReadMarksFile(form);
        if (state.problemCount < 7) {
            die(QStringLiteral("the marked series holds too few problems"));
        }
    }

    waitForStart();

    std::uniform_int_distribution<int> pauseMicros(0, 3000);
    for (int i = 1; i <= appends; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros(random)));
        state.problems.at(AppendRow) = Problems::fromRecord(
            {QStringLiteral("問題%1%2\u3000ほかの生徒が付けたマーク").arg(name).arg(i),
             QStringLiteral("ウニ,ヒトデ,カニ,"), QStringLiteral("棘皮動物,節足動物,"),
             QStringLiteral("1,1,2,"),
             QStringLiteral("\u3000%1の%2番目の説明～①").arg(name).arg(i)});
        state.markedSeries = false;
        state.currentProblem = AppendRow;
        state.markPending = true;
        if (!AppendMarkedProblem(form)) {
            die(QStringLiteral("append %1 failed: %2").arg(i).arg(form.prompts.value(0).text));
        }
        if (i == rewriteAfter) {
            // Read by the rewrite through the window's state.
            // cppcheck-suppress unreadVariable
            state.markedSeries = true;
            for (const int r : Unmarked) {
                state.marked.at(r) = false;
            }
            if (!RewriteMarksFile(form)) {
                die(QStringLiteral("rewrite failed: %1").arg(form.prompts.value(0).text));
            }
        }
        if (!form.prompts.isEmpty()) {
            die(form.prompts.constFirst().text);
        }
    }
    return 0;
}
