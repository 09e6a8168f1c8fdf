#pragma once

// What each fuzz target does with one input, and the properties it checks.
// The libFuzzer entry points in this folder call these, and so does the
// core test that replays saved inputs, so a crash found here stays fixed in
// the ordinary build too.

#include "files/TextEncoding.h"
#include "files/TextFile.h"
#include "marks/MarksFile.h"
#include "record/AnswerLog.h"
#include "record/FastStatementReader.h"
#include "record/Schedule.h"
#include "record/Statements.h"
#include "series/SeriesParser.h"
#include "session/Session.h"
#include "session/MarksMessages.h"
#include "support/Fakes.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

namespace FuzzBodies
{

// Under libFuzzer a failed check aborts, which saves the input; the replay
// test turns it into an exception it can report and go on.
inline bool throwOnFailure = false;

struct CheckFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail(const char* file, int line, const std::string& what)
{
    const std::string message = std::string(file) + ":" + std::to_string(line) + ": " + what;
    if (throwOnFailure) {
        throw CheckFailed(message);
    }
    std::fprintf(stderr, "check failed: %s\n", message.c_str());
    std::abort();
}

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ::FuzzBodies::fail(__FILE__, __LINE__, #cond);                                         \
        }                                                                                          \
    } while (0)

// A session with fakes around it, working in `dir`.
struct World {
    explicit World(const QString& dir)
        : session(dir, measure, ports(dir)), state(session.state()), form(session.screen())
    {
    }
    FakeMeasure measure;
    FakePlayers players;
    FakeDialogs dialogs;
    MarksStore* marks = nullptr; // the folder's marks file, the session's
    Session session;
    SeriesState& state;
    MainScreen& form;

    SessionPorts ports(const QString& dir)
    {
        auto file = std::make_unique<MarksStore>(dir);
        marks = file.get();
        SessionPorts out;
        out.marks = std::move(file);
        out.players = &players;
        out.dialogs = &dialogs;
        return out;
    }

    // As new for what the marks file functions use: cheaper than a new
    // window, and the marks target needs one several times per input.
    void resetForMarks()
    {
        state = SeriesState{};
        state.catalog[0][1] = QString::fromLatin1(MarksFile::FileName);
        marks->clear();
        form.prompts.clear();
    }
};

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        fail(__FILE__, __LINE__, "cannot write " + path.toStdString());
    }
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray cp932(const QString& text)
{
    QByteArray out;
    if (!TextFile::encodeText(text, &out)) {
        fail(__FILE__, __LINE__, "not code page 932: " + text.toStdString());
    }
    return out;
}

// ---------------------------------------------------------------- catalogue

inline void catalog(const QByteArray& bytes, const QString& dir)
{
    writeFile(dir + QStringLiteral("/ZQCList.TXT"), bytes);
    auto w = std::make_unique<World>(dir);
    w->session.start();

    const QStringList& entries = w->form.seriesList.Entries;
    FUZZ_CHECK(!entries.isEmpty());
    FUZZ_CHECK(entries.size() <= SeriesState::CatalogRows);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        FUZZ_CHECK(entries.at(i) == w->state.catalog.at(static_cast<std::size_t>(i))[0]);
    }
    FUZZ_CHECK(w->state.catalog[0][1] == QLatin1String(MarksFile::FileName));
    FUZZ_CHECK(w->form.prompts.size() <= 1);

    // Without double quotes a comma always ends a field and the spaces around
    // it belong to no field.
    if (!bytes.contains('"')) {
        for (qsizetype i = 1; i < entries.size(); ++i) {
            for (const QString& field : w->state.catalog.at(static_cast<std::size_t>(i))) {
                FUZZ_CHECK(!field.contains(QLatin1Char(',')));
                FUZZ_CHECK(!field.startsWith(QLatin1Char(' ')));
                FUZZ_CHECK(!field.endsWith(QLatin1Char(' ')));
            }
        }
    }
}

// ---------------------------------------------------------------- series and board

// What holds for a problem the loader keeps: it fits the board and every
// term has a frame to go to, so it can be solved.
inline void checkUsable(const Problem& p)
{
    const qsizetype terms = p.terms.size();
    const qsizetype groups = p.groups.size();
    FUZZ_CHECK(terms >= 1 && terms <= SeriesState::MaxTerms);
    FUZZ_CHECK(groups >= 1 && groups <= SeriesState::MaxFrames);
    FUZZ_CHECK(p.groupOfTerm.size() == terms);
    for (const int a : p.groupOfTerm) {
        FUZZ_CHECK(a >= 1 && a <= groups);
    }
}

// The board after showProblem(n) of a row; `usable` when the loader kept the row.
inline void checkBoard(const World& w, const Problem& p, bool usable)
{
    const Quiz& quiz = w.form.quiz;
    FUZZ_CHECK(quiz.terms() >= 0 && quiz.terms() <= SeriesState::MaxTerms);
    FUZZ_CHECK(quiz.frames() >= 0 && quiz.frames() <= SeriesState::MaxFrames);
    FUZZ_CHECK(quiz.open());
    int visibleTerms = 0;
    for (const Control& c : w.form.terms) {
        visibleTerms += c.Visible ? 1 : 0;
    }
    FUZZ_CHECK(visibleTerms == quiz.terms());
    for (int c = 0; c < 6; ++c) {
        FUZZ_CHECK(w.form.frames.at(c).Visible == (c < quiz.frames()));
        FUZZ_CHECK(w.form.captions.at(c).Visible == (c < quiz.frames()));
        FUZZ_CHECK(quiz.termsIn(c).isEmpty());
    }
    if (usable) {
        FUZZ_CHECK(quiz.terms() == p.terms.size());
        FUZZ_CHECK(quiz.frames() == p.groups.size());
        for (int i = 0; i < quiz.terms(); ++i) {
            FUZZ_CHECK(quiz.answerOf(i) >= 0 && quiz.answerOf(i) < quiz.frames());
        }
    }
}

// Every term lies in at most one frame, once, and a frame holds no more
// terms than it shows.
inline void checkPlacements(const World& w)
{
    const Quiz& quiz = w.form.quiz;
    std::set<int> seen;
    for (int c = 0; c < quiz.frames(); ++c) {
        const QList<int>& terms = quiz.termsIn(c);
        FUZZ_CHECK(terms.size() <= w.form.board.roomIn(c));
        for (const int v : terms) {
            FUZZ_CHECK(v >= 0 && v < quiz.terms());
            FUZZ_CHECK(seen.insert(v).second);
            FUZZ_CHECK(quiz.frameOf(v) == c);
        }
    }
}

// Reads four bytes as a coordinate: half the time a board position, else a
// raw float (NaN, infinities, huge and tiny values included) or one of the
// values that break arithmetic most easily.
inline float coordinate(std::uint8_t mode, const std::uint8_t* b)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, b, sizeof bits);
    switch (mode % 4) {
    case 0:
    case 1:
        return static_cast<float>(static_cast<std::int16_t>(bits & 0xFFFFU));
    case 2: {
        float f = 0.0F;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    default: {
        const float special[] = {std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest(),
                                 std::numeric_limits<float>::denorm_min(),
                                 -0.0F,
                                 1e30F};
        return special[bits % (sizeof special / sizeof special[0])];
    }
    }
}

// Plays drags from the script: 10 bytes a step (what to do, which label,
// two coordinates). Every press is followed by a release of the same label,
// as the window system delivers them.
inline void runDrops(World& w, const QByteArray& script)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(script.constData());
    constexpr qsizetype Step = 10;
    for (qsizetype at = 0; at + Step <= script.size() && at < 64 * Step; at += Step) {
        const std::uint8_t op = p[at];
        const int index = p[at + 1] % 24 - 1; // -1..22: a label, or none
        const float x = coordinate(static_cast<std::uint8_t>(op >> 2), p + at + 2);
        const float y = coordinate(static_cast<std::uint8_t>(op >> 4), p + at + 6);
        switch (op % 4) {
        case 0: // moved by (x, y) from where it lies
            if (index >= 0 && index < SeriesState::MaxTerms) {
                const Control& l = w.form.terms.at(static_cast<std::size_t>(index));
                w.session.putAt(index, l.Left + x, l.Top + y);
            } else {
                w.session.putAt(index, x, y);
            }
            break;
        case 1: // put somewhere
            w.session.putAt(index, x, y);
            break;
        case 2: { // put onto the middle of a frame
            const Control& f = w.form.frames.at(p[at + 2] % 6);
            const bool term = index >= 0 && index < SeriesState::MaxTerms;
            const Control& l = w.form.terms.at(term ? static_cast<std::size_t>(index) : 0U);
            w.session.putAt(index, f.Left + f.Width / 2.0F - l.Width / 2.0F,
                            f.Top + f.Height / 2.0F - l.Height / 2.0F);
            break;
        }
        default: // a window of another size
            w.form.setClientSize(x, y);
            break;
        }
        checkPlacements(w);
    }
}

// The lines of the series file and the problems the loader keeps of them.
struct Parsed {
    TextFile::ReadResult text;
    SeriesParser::Result result;
    QList<const Problem*> usable;
};

inline std::unique_ptr<Parsed> parseSeries(const QByteArray& bytes)
{
    auto out = std::make_unique<Parsed>();
    out->text = TextFile::decodeLenient(bytes);
    out->result = SeriesParser::parse(out->text.texts());
    const QList<int>& bad = out->text.badLines;
    for (const SeriesParser::Draft& d : out->result.problems) {
        // A problem holding a byte that does not decode is left out.
        const SourceLines& l = d.problem.lines;
        const bool clean = std::none_of(
            bad.begin(), bad.end(), [&l](int line) { return line >= l.heading && line <= l.end; });
        if (clean && SeriesParser::problemFault(d).isEmpty()) {
            out->usable.append(&d.problem);
        }
    }
    return out;
}

// Lines cover the bytes one after another, from the end of a UTF-8 byte
// order mark where there is one, and no line holds a line end.
inline void checkLines(const TextFile::ReadResult& text, qsizetype size)
{
    qsizetype at = text.bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (const TextFile::Line& l : text.lines) {
        FUZZ_CHECK(l.byteOffset == at);
        FUZZ_CHECK(l.byteEnd > l.byteOffset);
        FUZZ_CHECK(!l.text.contains(QLatin1Char('\r')) && !l.text.contains(QLatin1Char('\n')));
        at = l.byteEnd;
    }
    if (text.ok()) {
        FUZZ_CHECK(at == size);
    } else {
        FUZZ_CHECK(text.badLine == text.lines.size() + 1);
    }
}

inline const QString SeriesFileName = QStringLiteral("S.TXT");

// The series target's working folder: a catalogue listing S.TXT.
inline void prepareSeriesDir(const QString& dir)
{
    writeFile(dir + QStringLiteral("/ZQCList.TXT"), cp932(QStringLiteral("試験,S.TXT\r\n")));
}

inline void series(const QByteArray& bytes, const QString& dir)
{
    const std::unique_ptr<Parsed> parsed = parseSeries(bytes);
    checkLines(parsed->text, bytes.size());
    int previousLine = 0;
    for (const SeriesParser::Draft& d : parsed->result.problems) {
        const SourceLines& l = d.problem.lines;
        FUZZ_CHECK(l.heading > previousLine && l.heading <= parsed->text.lines.size());
        FUZZ_CHECK(l.end >= l.heading && l.end <= parsed->text.lines.size());
        previousLine = l.end;
    }
    for (const Problem* p : parsed->usable) {
        checkUsable(*p);
    }

    // The same file through the series list.
    writeFile(dir + QLatin1Char('/') + SeriesFileName, bytes);
    auto w = std::make_unique<World>(dir);
    w->session.start();
    FUZZ_CHECK(w->form.seriesList.Entries.size() == 2);
    w->session.open(1);

    const SeriesState& st = w->state;
    FUZZ_CHECK(st.problemCount >= 0 && st.problemCount <= SeriesState::MaxProblems);
    const bool loads = parsed->text.ok() && !parsed->usable.isEmpty();
    if (!loads) {
        FUZZ_CHECK(w->form.seriesList.Visible);
        FUZZ_CHECK(st.currentProblem == 0);
        FUZZ_CHECK(w->form.prompts.size() == 1);
        return;
    }
    FUZZ_CHECK(!w->form.seriesList.Visible);
    FUZZ_CHECK(st.currentProblem == 1);
    const qsizetype expected = std::min<qsizetype>(parsed->usable.size(), SeriesState::MaxProblems);
    FUZZ_CHECK(st.problemCount == expected);
    for (int r = 1; r <= st.problemCount; ++r) {
        const Problem& p = st.problems.at(static_cast<std::size_t>(r));
        FUZZ_CHECK(p.terms.size() <= SeriesState::MaxTerms);
        FUZZ_CHECK(p.groups.size() <= SeriesState::MaxFrames);
        FUZZ_CHECK(p == *parsed->usable.at(r - 1));
    }
    checkBoard(*w, st.problems[1], true);
}

// Input: a series file, then after the first NUL byte a script of drags.
// The problems the loader would keep go on the board; then the same lines,
// unchecked, go straight into the table as one row.
inline void board(const QByteArray& input, const QString& dir)
{
    const qsizetype nul = input.indexOf('\0');
    const QByteArray file = nul < 0 ? input : input.left(nul);
    const QByteArray script = nul < 0 ? QByteArray() : input.mid(nul + 1);

    const std::unique_ptr<Parsed> parsed = parseSeries(file);
    if (parsed->text.ok() && !parsed->usable.isEmpty()) {
        auto w = std::make_unique<World>(dir);
        const qsizetype n = std::min<qsizetype>(parsed->usable.size(), SeriesState::MaxProblems);
        for (qsizetype r = 0; r < n; ++r) {
            w->state.problems.at(static_cast<std::size_t>(r + 1)) = *parsed->usable.at(r);
        }
        w->state.problemCount = static_cast<int>(n);
        // The script's first byte picks the problem.
        const int problem =
            script.isEmpty() ? 1 : static_cast<int>(1 + static_cast<std::uint8_t>(script[0]) % n);
        w->state.currentProblem = problem;
        w->form.showProblem(static_cast<qint16>(problem));
        checkBoard(*w, w->state.problems.at(static_cast<std::size_t>(problem)), true);
        runDrops(*w, script.mid(1));
    }

    // Any text at all in the cells of a row, and any row number.
    QStringList lines;
    if (parsed->text.ok()) {
        lines = parsed->text.texts();
    } else {
        lines = QString::fromLatin1(file).split(QLatin1Char('\n'));
    }
    auto w = std::make_unique<World>(dir);
    const qint16 problem =
        script.isEmpty() ? qint16(1) : static_cast<qint16>(static_cast<std::int8_t>(script[0]));
    for (const int r : {1, int(problem)}) {
        if (r < 0 || r >= SeriesState::SeriesRows) {
            continue;
        }
        w->state.problems.at(static_cast<std::size_t>(r)) = Problems::fromRecord(lines.mid(0, 5));
    }
    w->state.problemCount = 100;
    w->state.currentProblem = problem;
    w->form.showProblem(problem);
    if (problem >= 0 && problem < SeriesState::SeriesRows) {
        checkBoard(*w, w->state.problems.at(static_cast<std::size_t>(problem)), false);
    }
    runDrops(*w, script.mid(1));
}

// ---------------------------------------------------------------- marks file

inline QByteArray encodedRecord(const QStringList& record)
{
    QByteArray out;
    for (const QString& line : record) {
        out += cp932(line) + "\r\n";
    }
    return out;
}

struct MarksRead {
    int last = 0;
    QList<QStringList> rows;
    MarksFileTail tail;
    qsizetype told = 0;
};

// A marked problem the board can show and solve: every line but the
// explanation filled, one answer per term, each naming a group there is.
inline bool solvable(const QStringList& row)
{
    for (int j = 0; j < 4; ++j) {
        if (SeriesParser::trimBlanks(row.at(j)).isEmpty()) {
            return false;
        }
    }
    QStringList answers = row.at(3).split(QLatin1Char(','));
    if (row.at(3).endsWith(QLatin1Char(','))) {
        answers.removeLast();
    }
    const int groups = SeriesParser::countFields(row.at(2));
    if (answers.size() != SeriesParser::countFields(row.at(1))) {
        return false;
    }
    return std::all_of(answers.begin(), answers.end(), [groups](const QString& a) {
        bool number = false;
        const int g = a.toInt(&number);
        return number && g >= 1 && g <= groups;
    });
}

inline MarksRead readMarks(World* w)
{
    w->resetForMarks();
    MarksRead out;
    out.last = ReadMarksFile(w->form);
    for (int r = 0; r <= out.last; ++r) {
        out.rows.append(Problems::record(w->state.problems.at(static_cast<std::size_t>(r))));
        FUZZ_CHECK(w->state.marked.at(static_cast<std::size_t>(r)));
        FUZZ_CHECK(r == 0 || solvable(out.rows.last()));
    }
    out.tail = w->marks->tail();
    out.told = w->form.prompts.size();
    FUZZ_CHECK(out.told <= 1);
    return out;
}

// Writes that fail leave the file as it was.
inline bool rewriteKeepsOrFails(World* w, const QString& file, int problemCount)
{
    const QByteArray before = readFile(file);
    w->state.problemCount = problemCount;
    w->state.markedSeries = true;
    const bool written = RewriteMarksFile(w->form);
    FUZZ_CHECK(written || readFile(file) == before);
    return written;
}

inline void marks(const QByteArray& bytes, const QString& dir)
{
    const QString file = dir + QLatin1Char('/') + QLatin1String(MarksFile::FileName);
    const QString damagedFile = dir + QLatin1Char('/') + QLatin1String(MarksFile::DamagedFileName);
    QFile::remove(damagedFile);
    writeFile(file, bytes);
    const auto w = std::make_unique<World>(dir);
    const MarksRead first = readMarks(w.get());

    // Read, then write back unchanged: the same marked problems, the records
    // past the table still there, and only lines that are no record and a
    // damaged end moved aside.
    if (rewriteKeepsOrFails(w.get(), file, first.last)) {
        const MarksRead again = readMarks(w.get());
        FUZZ_CHECK(again.rows == first.rows);
        FUZZ_CHECK(again.tail.laterRecords == first.tail.laterRecords);
        FUZZ_CHECK(again.tail.damaged.isEmpty() && again.tail.leftOut.isEmpty());
        FUZZ_CHECK(readFile(damagedFile) == first.tail.leftOut + first.tail.damaged);

        // Unmarking the first marked problem leaves out just that record.
        if (first.last >= 1) {
            readMarks(w.get());
            w->state.marked[1] = false;
            FUZZ_CHECK(rewriteKeepsOrFails(w.get(), file, first.last));
            QList<QStringList> expected = first.rows;
            expected.removeAt(1);
            FUZZ_CHECK(readMarks(w.get()).rows.mid(0, expected.size()) == expected);
        }
    }

    // Appending keeps what the file held before its damaged end, byte for
    // byte in a code page 932 file, and adds one readable record after it.
    QFile::remove(damagedFile);
    writeFile(file, bytes);
    const MarksRead fresh = readMarks(w.get());
    const QStringList added = {QStringLiteral("問題９\u3000追加した問題"), QStringLiteral("ア,イ,"),
                               QStringLiteral("甲,乙,"), QStringLiteral("1,2,"),
                               QStringLiteral("\u3000説明")};
    w->state.problems[7] = Problems::fromRecord(added);
    w->state.currentProblem = 7;
    w->state.markPending = true;
    const bool appended = AppendMarkedProblem(w->form);
    FUZZ_CHECK(!w->state.markPending);
    const QByteArray now = readFile(file);
    if (!appended) {
        FUZZ_CHECK(now == bytes);
        return;
    }
    FUZZ_CHECK(now.endsWith(encodedRecord(added)));
    // A file without a whole record keeps nothing but its damaged end, aside.
    if (fresh.last >= 0 && TextEncoding::detect(bytes).encoding == TextEncoding::Encoding::Cp932) {
        // A byte order mark before code page 932 text is not written back.
        const qsizetype mark = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        const QByteArray kept = bytes.mid(mark, bytes.size() - mark - fresh.tail.damaged.size());
        FUZZ_CHECK(now.startsWith(kept));
    }
    const MarksRead after = readMarks(w.get());
    if (fresh.rows.size() + 1 < SeriesState::SeriesRows && fresh.tail.laterRecords.isEmpty()) {
        FUZZ_CHECK(after.rows.size() >= 2 && after.rows.last() == added);
        FUZZ_CHECK(after.rows.mid(0, fresh.rows.size()) == fresh.rows);
    }
}

// ---------------------------------------------------------------- answer log

// Any bytes, line by line, through the log's fast reader and StatementReader
// in step, so that the fast one meets actors and problems it has taken
// before: the same answer or the same reason for every line.
inline void statementReaders(const QByteArray& bytes)
{
    FastStatementReader fast;
    StatementReader slow;
    for (const QByteArray& line : bytes.split('\n')) {
        QString fastWhy;
        QString slowWhy;
        const std::optional<Answer> a = fast.parse(line, &fastWhy, line.size());
        FUZZ_CHECK(a == slow.parse(line, &slowWhy) && fastWhy == slowWhy);
    }
}

// Any bytes as a learner's log: every line read is a statement that writes
// back to itself, the schedule takes them all, and an answer appended after
// them is read back with them, whatever the end of the file held; the
// fast reader agrees with StatementReader on every line.
inline void log(const QByteArray& bytes, const QString& dir)
{
    statementReaders(bytes);
    AnswerLog log(dir, QStringLiteral("fuzz"));
    QDir(dir).mkpath(QStringLiteral("records"));
    writeFile(log.path(), bytes);
    const LogRead read = log.read();
    FUZZ_CHECK(read.end >= 0 && read.end <= bytes.size());
    Schedule schedule;
    for (const Answer& a : read.answers) {
        FUZZ_CHECK(a.placed.size() == a.terms.size() && a.correct.size() == a.terms.size());
        QString why;
        const std::optional<Answer> again = Statements::parse(Statements::line(a), &why);
        FUZZ_CHECK(again && *again == a);
        schedule.add(a, a.timestampMs);
    }
    if (read.answers.isEmpty()) {
        return;
    }
    FUZZ_CHECK(log.append(read.answers.constFirst()).isEmpty());
    const LogRead after = log.read();
    FUZZ_CHECK(after.answers.size() == read.answers.size() + 1);
}

} // namespace FuzzBodies
