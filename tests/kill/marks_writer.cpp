// Writes the marks file over and over until it is killed: appends a marked
// problem, then loads the marked series, unmarks its oldest problem and
// rewrites the file. Before each write it saves the exact bytes the write is
// to produce as expected-N.bin, so that whoever kills it knows every state
// the file may be in.
//
//   marks_writer <working folder> <first counter> append|rewrite
//
// The last argument names the write it starts with; the two then alternate.
//
//   marks_writer <working folder> <first counter> answers
//
// appends answers to the learner 生徒's log instead, numbered from the
// counter, and prints "acked N" once answer N is written.
//
// Prints "ready" once it is about to start writing. Exits with 3 when a
// write fails or leaves other bytes than announced; never exits otherwise.

#include "files/TextFile.h"
#include "marks/MarksFile.h"
#include "record/AnswerLog.h"
#include "session/MainScreen.h"
#include "session/MarksMessages.h"
#include "support/Fakes.h"
#include "support/TestAnswers.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

QByteArray encoded(const QStringList& record)
{
    QByteArray out;
    for (const QString& line : record) {
        QByteArray bytes;
        if (!TextFile::encodeText(line, &bytes)) {
            std::fprintf(stderr, "marks_writer: cannot encode a line\n");
            std::exit(3);
        }
        out += bytes + "\r\n";
    }
    return out;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

[[noreturn]] void die(const char* what)
{
    std::fprintf(stderr, "marks_writer: %s\n", what);
    std::exit(3);
}

class Writer
{
public:
    Writer(const QString& dir, long long counter, bool rewriteFirst)
        : dir_(dir), counter_(counter), rewriteFirst_(rewriteFirst), marks_(dir),
          form_(state_, measure_, players_, dialogs_, dir, marks_)
    {
        now_ = readFile(marksPath());
    }

    void run()
    {
        std::printf("ready\n");
        std::fflush(stdout);
        if (rewriteFirst_) {
            rewrite();
        }
        while (true) {
            append();
            rewrite();
            ++counter_;
        }
    }

private:
    QString marksPath() const { return QDir(dir_).filePath(QLatin1String(MarksFile::FileName)); }

    // The next state, saved where the parent finds it before the marks file
    // is touched. Not synced: a killed process loses nothing it wrote, and a
    // sync here took longer than the write it announces, so that most kills
    // fell on the announcement instead of on the marks file.
    void announce(const QByteArray& bytes)
    {
        const QString path = QDir(dir_).filePath(QStringLiteral("expected-%1.bin").arg(next_++));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() ||
            !f.flush()) {
            die("cannot save the expected state");
        }
    }

    void landed(const QByteArray& expected)
    {
        const QByteArray actual = readFile(marksPath());
        if (actual != expected) {
            QFile keep(QDir(dir_).filePath(QStringLiteral("mismatch.bin")));
            if (keep.open(QIODevice::WriteOnly)) {
                keep.write(actual);
            }
            die("the marks file differs from the announced state (kept as mismatch.bin)");
        }
        if (!form_.prompts.isEmpty()) {
            die(form_.prompts.constFirst().text.toLocal8Bit().constData());
        }
        now_ = expected;
    }

    void append()
    {
        state_ = SeriesState{};
        const QStringList record = {QStringLiteral("問題%1\u3000追加").arg(counter_),
                                    QStringLiteral("ア,イ,"), QStringLiteral("甲,乙,"),
                                    QStringLiteral("1,2,"),
                                    QStringLiteral("\u3000説明%1").arg(counter_)};
        state_.problems[3] = Problems::fromRecord(record);
        state_.currentProblem = 3;
        state_.markPending = true;
        const QByteArray expected =
            now_ + (now_.isEmpty() ? encoded(MarksFile::placeholderRecord()) : QByteArray()) +
            encoded(record);
        announce(expected);
        if (!AppendMarkedProblem(form_)) {
            die("append failed");
        }
        landed(expected);
    }

    void rewrite()
    {
        state_ = SeriesState{};
        marks_.clear();
        state_.catalog[0][1] = QString::fromLatin1(MarksFile::FileName);
        const int last = ReadMarksFile(form_);
        state_.problemCount = last;
        state_.markedSeries = true;
        // Unmarking all but the three newest problems keeps the file small
        // however often the writer is killed between an append and this.
        const int keepFrom = last - 2;
        for (int r = 1; r < keepFrom; ++r) {
            state_.marked.at(r) = false;
        }
        QByteArray expected;
        for (int r = 0; r <= last; ++r) {
            if (r == 0 || r >= keepFrom) {
                expected += encoded(Problems::record(state_.problems.at(r)));
            }
        }
        announce(expected);
        if (!RewriteMarksFile(form_)) {
            die("rewrite failed");
        }
        landed(expected);
    }

    QString dir_;
    long long counter_;
    bool rewriteFirst_;
    int next_ = 0;
    QByteArray now_;
    SeriesState state_;
    FakeMeasure measure_;
    FakePlayers players_;
    FakeDialogs dialogs_;
    MarksStore marks_;
    MainScreen form_;
};

} // namespace

[[noreturn]] void appendAnswers(const QString& dir, long long counter)
{
    AnswerLog log(dir, QStringLiteral("生徒"));
    std::printf("ready\n");
    std::fflush(stdout);
    for (long long n = counter;; ++n) {
        const QString failed =
            log.append(numberedAnswer(QStringLiteral("生徒"), QStringLiteral("W"), n));
        if (!failed.isEmpty()) {
            die(failed.toLocal8Bit().constData());
        }
        std::printf("acked %lld\n", n);
        std::fflush(stdout);
    }
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[3], "answers") == 0) {
        appendAnswers(QString::fromLocal8Bit(argv[1]), std::atoll(argv[2]));
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: marks_writer <working folder> <first counter> "
                             "append|rewrite|answers\n");
        return 2;
    }
    Writer writer(QString::fromLocal8Bit(argv[1]), std::atoll(argv[2]),
                  std::strcmp(argv[3], "rewrite") == 0);
    writer.run();
}
