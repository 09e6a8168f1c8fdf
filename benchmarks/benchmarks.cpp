// The program's hot operations, each beside its floor: the least the same
// work could cost, measured in the same run. Prints one line per operation:
//
//   NAME: MEDIAN ns, floor FLOOR_NAME FLOOR ns, ratio R
//
// (medians of the repetitions). --verbose also prints Google Benchmark's own
// table.
#include "MadeUpClass.h"
#include "files/SafeWrite.h"
#include "files/TextFile.h"
#include "marks/MarksFile.h"
#include "quiz/Quiz.h"
#include "record/AnswerLog.h"
#include "record/ProblemId.h"
#include "record/Schedule.h"
#include "record/Statements.h"
#include "report/ClassFolder.h"
#include "report/ReportFiles.h"
#include "series/SeriesParser.h"
#include "series/SeriesState.h"
#include "session/MarksMessages.h"
#include "session/Session.h"
#include "record/Progress.h"
#include "measure/QtFonts.h"
#include "measure/QtTextMeasure.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{

// A session on the real fonts, with silent players and dialogs.
struct Window {
    explicit Window(const QString& dir = QString())
        : session(dir, measure), state(session.state()), form(session.screen())
    {
    }
    QtTextMeasure measure;
    Session session;
    SeriesState& state;
    MainScreen& form;
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(1);
    }
    return f.readAll();
}

// A series of exactly 100 problems (about 50 KB), made of the sample series
// one after the other.
const QByteArray& hundredProblemSeries()
{
    static const QByteArray bytes = MadeUpClass::seriesOf(100);
    return bytes;
}

void openSeries(benchmark::State& state)
{
    const QByteArray& bytes = hundredProblemSeries();
    for (auto _ : state) {
        const TextFile::ReadResult file = TextFile::decode(bytes);
        const SeriesParser::Result parsed = SeriesParser::parse(file.texts());
        const auto usable = std::count_if(
            parsed.problems.begin(), parsed.problems.end(),
            [](const SeriesParser::Draft& d) { return SeriesParser::problemFault(d).isEmpty(); });
        if (usable != 100) {
            state.SkipWithError("the series does not hold 100 usable problems");
        }
        benchmark::DoNotOptimize(usable);
    }
}

// cppcheck-suppress constParameterCallback
void decodeOnce(benchmark::State& state)
{
    const QByteArray& bytes = hundredProblemSeries();
    for (auto _ : state) {
        QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
        QString text = decoder.decode(bytes);
        benchmark::DoNotOptimize(text);
    }
}

// The problem of the append and display rows: 21 terms in 6 groups.
void fillProblem(SeriesState& st, int row)
{
    Problem p;
    const QStringList terms = {"ザリガニ",    "クモ",       "ムカデ",         "ミジンコ", "イカ",
                               "アサリ",      "カタツムリ", "ウニ",           "ヒトデ",   "ナマコ",
                               "クラゲ",      "プラナリア", "サナダムシ",     "ミミズ",   "ゴカイ",
                               "ヒル",        "カイメン",   "イソギンチャク", "サンゴ",   "ホヤ",
                               "ナメクジウオ"};
    for (int i = 0; i < terms.size(); ++i) {
        p.groupOfTerm.append(i % 6 + 1);
    }
    Problems::setQuestion(
        p, QStringLiteral("問題%1　次の動物を，あてはまる動物門に分類しなさい。").arg(row));
    p.terms = terms;
    p.groups = QStringList{"節足動物", "軟体動物", "棘皮動物", "刺胞動物", "扁形動物", "環形動物"};
    p.explanation = QStringLiteral("　節足動物はからだと付属肢に節がある。");
    st.problems.at(static_cast<std::size_t>(row)) = p;
}

// Marked.txt with its placeholder and 100 marked problems, and the same file
// with one more record appended.
struct MarksBytes {
    QByteArray before;
    QByteArray after;
};

QByteArray encodeRecord(const QStringList& record)
{
    QByteArray out;
    for (const QString& line : record) {
        QByteArray bytes;
        if (!TextFile::encodeText(line, &bytes)) {
            std::fprintf(stderr, "cannot encode a record\n");
            std::exit(1);
        }
        out += bytes + "\r\n";
    }
    return out;
}

MarksBytes marksBytes()
{
    SeriesState st;
    QByteArray before = encodeRecord(MarksFile::placeholderRecord());
    for (int i = 1; i <= 100; ++i) {
        fillProblem(st, 1);
        st.problems[1].question += QString::number(i);
        before += encodeRecord(MarksFile::rowRecord(st, 1));
    }
    fillProblem(st, 1);
    return {before, before + encodeRecord(MarksFile::rowRecord(st, 1))};
}

void writePlain(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

void appendMark(benchmark::State& state)
{
    QTemporaryDir dir;
    const MarksBytes marks = marksBytes();
    Window w(dir.path());
    const QString path = w.form.pathOf(QString::fromLatin1(MarksFile::FileName));
    fillProblem(w.state, 1);
    for (auto _ : state) {
        state.PauseTiming();
        writePlain(path, marks.before);
        w.state.currentProblem = 1;
        state.ResumeTiming();
        if (!AppendMarkedProblem(w.form)) {
            state.SkipWithError("the append failed");
        }
    }
    if (readFile(path) != marks.after) {
        state.SkipWithError("the append wrote other bytes than expected");
    }
}

void atomicReplace(benchmark::State& state)
{
    QTemporaryDir dir;
    const MarksBytes marks = marksBytes();
    const QString path = dir.filePath(QString::fromLatin1(MarksFile::FileName));
    for (auto _ : state) {
        state.PauseTiming();
        writePlain(path, marks.before);
        state.ResumeTiming();
        if (!WriteFileAtomically(path, marks.after).isEmpty()) {
            state.SkipWithError("the write failed");
        }
    }
}

// What the marks lock alone costs an append: QLockFile writes its file,
// syncs it and removes it again. Shown against the same floor, so that the
// append row can be read as floor + lock.
void marksLock(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(MarksFile::LockFileName));
    for (auto _ : state) {
        QLockFile lock(path);
        if (!lock.tryLock(0)) {
            state.SkipWithError("the lock was not taken");
        }
    }
}

void display(benchmark::State& state)
{
    Window w;
    fillProblem(w.state, 1);
    for (auto _ : state) {
        w.form.showProblem(1);
    }
    if (w.form.quiz.terms() != 21 || w.form.quiz.frames() != 6) {
        state.SkipWithError("the problem was not laid out");
    }
}

// The captions showProblem measures for that problem, in their fonts.
// cppcheck-suppress constParameterCallback
void measureCaptions(benchmark::State& state)
{
    Window w;
    fillProblem(w.state, 1);
    const QStringList terms = w.state.problems[1].terms;
    const QStringList groups = w.state.problems[1].groups;
    const FontInfo termFont = w.form.terms[0].Font;
    const FontInfo groupFont = w.form.captions[0].Font;
    for (auto _ : state) {
        for (const QString& term : terms) {
            benchmark::DoNotOptimize(
                w.measure.measure(QLatin1Char(' ') + term + QLatin1Char(' '), termFont));
        }
        for (const QString& group : groups) {
            benchmark::DoNotOptimize(
                w.measure.measure(QLatin1Char(' ') + group + QLatin1Char(' '), groupFont));
        }
    }
}

// One move of a term that is already in a frame, as every front end makes
// it: taken out, put into another frame, and the complete answer checked.
void dragAndCheck(benchmark::State& state)
{
    SeriesState st;
    fillProblem(st, 1);
    Quiz quiz(st.problems[1]);
    for (int i = 0; i < quiz.terms(); ++i) {
        quiz.place(i, i % 6);
    }
    // The first term goes back and forth between a wrong frame and its
    // own, so that no check solves the problem and the quiz stays open.
    int frame = 1;
    for (auto _ : state) {
        quiz.takeBack(0);
        quiz.place(0, frame);
        benchmark::DoNotOptimize(quiz.check());
        frame = frame == 1 ? 2 : 1;
    }
    if (!quiz.open() || quiz.previousRight() == 0) {
        state.SkipWithError("the move did not lead to a check");
    }
}

// An answer to one of the hundred problems of the series above, checked
// with every other term right.
Answer answerTo(const QList<SeriesParser::Draft>& problems, int n, qint64 atMs)
{
    const Problem& p = problems.at(n % problems.size()).problem;
    Answer a = Statements::about(p, QStringLiteral("Bio1.TXT"),
                                 ProblemIds::asked(p) + QStringLiteral("-1"));
    a.learner = QStringLiteral("生徒%1").arg(n % 40 + 1, 2, 10, QLatin1Char('0'));
    a.learnerName = a.learner;
    a.placed = a.correct;
    for (qsizetype i = 1; i < a.placed.size(); i += 2) {
        a.placed[i] = a.placed[i] % static_cast<int>(a.groups.size()) + 1;
    }
    for (qsizetype i = 0; i < a.placed.size(); ++i) {
        a.right += a.placed[i] == a.correct[i] ? 1 : 0;
    }
    a.success = a.right == a.terms.size();
    a.durationMs = 20000 + n % 7000;
    a.timestampMs = atMs;
    a.id = QUuid::createUuid();
    a.attempt = n % 3 + 1;
    return a;
}

const QList<SeriesParser::Draft>& hundredProblems()
{
    static const QList<SeriesParser::Draft> problems =
        SeriesParser::parse(TextFile::decode(hundredProblemSeries()).texts()).problems;
    return problems;
}

void recordAppend(benchmark::State& state)
{
    QTemporaryDir dir;
    const Answer answer = answerTo(hundredProblems(), 7, 1796700191123);
    AnswerLog log(dir.path(), answer.learner);
    for (auto _ : state) {
        if (!log.append(answer).isEmpty()) {
            state.SkipWithError("the append failed");
        }
    }
}

// The same bytes appended as the log appends them, with no lock file and
// nothing looked at: open, lock, write, sync, close.
void plainAppend(benchmark::State& state)
{
    QTemporaryDir dir;
    const QByteArray line = Statements::line(answerTo(hundredProblems(), 7, 1796700191123)) + '\n';
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("plain.jsonl")));
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::lseek(fd, 0, SEEK_END) < 0 ||
            ::write(fd, line.constData(), static_cast<size_t>(line.size())) != line.size() ||
            ::fsync(fd) != 0) {
            state.SkipWithError("the plain append failed");
        }
        ::close(fd);
    }
}

enum class Ids { Random, Sequential };

// Well-formed ids that count up in their third and fourth groups, as a tool
// that numbers its statements might write them: Qt's own hash of a QUuid
// keeps few bits of those groups.
QUuid sequentialId(uint n)
{
    return QUuid(0x5e9u, 0, ushort(0x4000 | (n >> 12 & 0x0fff)), uchar(0x80 | (n >> 6 & 0x3f)),
                 uchar(n & 0x3f), 0, 0, 0, 0, 0, 0);
}

// A year of a class: 40 learners, 20 answers a day each for 365 days, one
// log a learner (292,000 statements in all).
QString writeYear(const QTemporaryDir& dir, Ids ids)
{
    QDir().mkpath(dir.filePath(QString::fromLatin1(AnswerLog::FolderName)));
    const qint64 start = 1775000000000; // spring 2026
    for (int learner = 0; learner < 40; ++learner) {
        QByteArray bytes;
        for (int day = 0; day < 365; ++day) {
            for (int k = 0; k < 20; ++k) {
                const int n = learner + 40 * (day * 20 + k);
                Answer a = answerTo(hundredProblems(), n, start + day * 86400000LL + k * 60000LL);
                if (ids == Ids::Sequential) {
                    a.id = sequentialId(uint(learner * 7300 + day * 20 + k));
                }
                bytes += Statements::line(a) + '\n';
            }
        }
        AnswerLog log(dir.path(), answerTo(hundredProblems(), learner, 0).learner);
        writePlain(log.path(), bytes);
    }
    return dir.path();
}

// Each year is written when a row first needs it.
QString yearOfAnswers(Ids ids)
{
    if (ids == Ids::Sequential) {
        static const QTemporaryDir dir;
        static const QString path = writeYear(dir, Ids::Sequential);
        return path;
    }
    static const QTemporaryDir dir;
    static const QString path = writeYear(dir, Ids::Random);
    return path;
}

// Every learner's review schedule rebuilt from their log, as the program
// and the check do.
template <Ids ids> void recordRebuild(benchmark::State& state)
{
    const QStringList files = AnswerLogs::files(yearOfAnswers(ids));
    qsizetype answers = 0;
    qsizetype findings = 0;
    for (auto _ : state) {
        answers = 0;
        for (const QString& file : files) {
            const LogRead read = AnswerLogs::readFile(file);
            Schedule schedule;
            for (const Answer& a : read.answers) {
                // Read long after the year: every answer counts.
                schedule.add(a, std::numeric_limits<qint64>::max() / 2);
            }
            benchmark::DoNotOptimize(schedule);
            answers += read.answers.size();
            findings += read.findings.size();
        }
    }
    if (answers != 292000 || findings != 0) {
        state.SkipWithError("the logs did not give 292,000 answers and nothing else");
    }
}

// The class report of the year: read, summed up, and its four files made.
template <Ids ids> void classReport(benchmark::State& state)
{
    const QString folder = yearOfAnswers(ids);
    for (auto _ : state) {
        const ClassReport::Report report = ClassFolder::report(folder);
        for (const QString& name : ReportFiles::spreadsheetNames()) {
            benchmark::DoNotOptimize(ReportFiles::spreadsheet(name, report));
        }
        benchmark::DoNotOptimize(ReportFiles::indexHtml(report, QStringLiteral("year")));
    }
}

// The floor of both: the same files read and each line parsed by simdjson
// into its document, nothing taken from it.
void simdjsonParse(benchmark::State& state)
{
    const QStringList files = AnswerLogs::files(yearOfAnswers(Ids::Random));
    simdjson::dom::parser parser;
    std::size_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        for (const QString& file : files) {
            simdjson::padded_string bytes;
            if (simdjson::padded_string::load(file.toStdString()).get(bytes) != simdjson::SUCCESS) {
                state.SkipWithError("a log could not be read");
                return;
            }
            const std::string_view all(bytes);
            for (std::size_t at = 0, end = 0; (end = all.find('\n', at)) != all.npos;
                 at = end + 1) {
                simdjson::dom::element line;
                lines +=
                    parser.parse(all.data() + at, end - at, false).get(line) == simdjson::SUCCESS;
                benchmark::DoNotOptimize(line);
            }
        }
    }
    if (lines != 292000) {
        state.SkipWithError("simdjson did not parse 292,000 lines");
    }
}

// A year of one learner's answers, 20 a day in four series of 100
// problems, one in five a second check, and the schedule of all 400.
void progressOfAYear(benchmark::State& state)
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 start = now.toMSecsSinceEpoch() - qint64(365) * 24 * 3600 * 1000;
    QList<Answer> answers;
    const QStringList series = {"Bio1.TXT", "Bio2.TXT", "Bio3.TXT", "Bio4.TXT"};
    for (int i = 0; i < 7300; ++i) {
        Answer a;
        a.series = series.at(i / 20 % 4);
        a.problemHash = QStringLiteral("%1").arg(i * 7 % 100, 16, 16, QLatin1Char('0'));
        a.timestampMs = start + qint64(i) * 4320000;
        a.attempt = i % 5 == 4 ? 2 : 1;
        a.success = i % 3 != 0;
        answers.append(a);
    }
    QList<ScheduledProblem> scheduled;
    for (int i = 0; i < 400; ++i) {
        ScheduledProblem p;
        p.series = series.at(i % 4);
        p.dueDay = QDateTime::fromMSecsSinceEpoch(start).date().addDays(i);
        scheduled.append(p);
    }
    QList<std::pair<QString, QString>> catalogue;
    for (const QString& s : series) {
        catalogue.append({s, s});
    }
    Schedule schedule;
    for (const Answer& a : answers) {
        schedule.add(a, now.toMSecsSinceEpoch());
    }
    for (auto _ : state) {
        const Progress p =
            makeProgress(QStringLiteral("learner"), answers, schedule, scheduled, catalogue, now);
        benchmark::DoNotOptimize(p);
    }
}

// Collects the median of every benchmark's repetitions.
class MedianCollector : public benchmark::BenchmarkReporter
{
public:
    explicit MedianCollector(bool verbose) : verbose_(verbose) {}
    bool ReportContext(const Context& context) override
    {
        return !verbose_ || console_.ReportContext(context);
    }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                failed_ = true;
                std::fprintf(stderr, "%s: %s\n", run.benchmark_name().c_str(),
                             run.error_message.c_str());
            }
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                        run.GetAdjustedCPUTime()};
            }
        }
        if (verbose_) {
            console_.ReportRuns(runs);
        }
    }
    // Real time for what waits on the disk, processor time for the rest:
    // on a shared machine the wall clock also counts other programs' turns.
    double median(const std::string& name, bool realTime) const
    {
        const auto it = medians_.find(name);
        if (it == medians_.end()) {
            return -1.0;
        }
        return realTime ? it->second.first : it->second.second;
    }
    bool failed() const { return failed_; }

private:
    bool verbose_;
    bool failed_ = false;
    benchmark::ConsoleReporter console_;
    std::map<std::string, std::pair<double, double>> medians_; // real, processor
};

struct Row {
    const char* name;
    const char* floorName;
    bool realTime;     // timed by the wall clock (it waits on the disk)
    double fixedFloor; // ns; 0 when the floor is measured
};

} // namespace

int main(int argc, char* argv[])
{
    bool verbose = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0) {
            verbose = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    // The fonts are the real ones; no window is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QtFonts::installSubstitutions();

    const auto add = [](const char* name, void (*fn)(benchmark::State&), bool realTime = false,
                        int repetitions = 11) {
        benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(name, fn);
        if (realTime) {
            b->UseRealTime();
        }
        b->Unit(benchmark::kNanosecond)
            ->MinTime(0.1)
            ->Repetitions(repetitions)
            ->ReportAggregatesOnly(true);
    };
    add("open_series_100", openSeries);
    add("decode_once", decodeOnce);
    add("append_mark_100", appendMark, true);
    add("atomic_replace", atomicReplace, true);
    add("marks_lock", marksLock, true);
    add("display_21_6", display);
    add("measure_27", measureCaptions);
    add("drag_and_check", dragAndCheck);
    add("record_append", recordAppend, true);
    add("plain_append", plainAppend, true);
    // Seconds each: fewer repetitions.
    add("record_rebuild_292k", recordRebuild<Ids::Random>, false, 5);
    add("record_rebuild_292k_sequential_ids", recordRebuild<Ids::Sequential>, false, 5);
    add("simdjson_parse_292k", simdjsonParse, false, 5);
    add("class_report_292k", classReport<Ids::Random>, false, 5);
    add("class_report_292k_sequential_ids", classReport<Ids::Sequential>, false, 5);
    add("progress_of_a_year", progressOfAYear);

    int benchArgc = static_cast<int>(args.size());
    benchmark::Initialize(&benchArgc, args.data());
    MedianCollector collector(verbose);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    const std::vector<Row> rows = {
        {"open_series_100", "decode_once", false, 0.0},
        {"append_mark_100", "atomic_replace", true, 0.0},
        {"marks_lock", "atomic_replace", true, 0.0},
        {"display_21_6", "measure_27", false, 0.0},
        {"drag_and_check", "frame_60hz", false, 1e9 / 60.0},
        {"record_append", "plain_append", true, 0.0},
        {"record_rebuild_292k", "simdjson_parse_292k", false, 0.0},
        {"record_rebuild_292k_sequential_ids", "simdjson_parse_292k", false, 0.0},
        {"class_report_292k", "simdjson_parse_292k", false, 0.0},
        {"class_report_292k_sequential_ids", "simdjson_parse_292k", false, 0.0},
        {"progress_of_a_year", "one_ms", false, 1e6},
    };
    for (const Row& row : rows) {
        const double t = collector.median(row.name, row.realTime);
        const double floor =
            row.fixedFloor > 0.0 ? row.fixedFloor : collector.median(row.floorName, row.realTime);
        if (t < 0.0 || floor <= 0.0) {
            continue; // filtered out
        }
        std::printf("%s: %.0f ns, floor %s %.0f ns, ratio %.2f\n", row.name, t, row.floorName,
                    floor, t / floor);
    }
    std::fflush(stdout);
    return collector.failed() ? 1 : 0;
}
