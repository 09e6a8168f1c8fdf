// The teacher's editor: parse and compose a series' text with the program's
// own reader and writer, and the preview board of the problem being written.
// Reached only through the teacher's route table, after the server's session
// and same-origin checks; bodies beyond Requests::MaxBody never get here.

#include "server/teacher/PreviewRoutes.h"

#include "files/TextFile.h"
#include "measure/BoardFindings.h"
#include "series/SeriesParser.h"
#include "series/SeriesSplice.h"
#include "series/SeriesState.h"
#include "series/SeriesWriter.h"
#include "series/TextFindings.h"
#include "server/http/ServerReplies.h"
#include "server/learner/LearnerScreen.h"
#include "server/learner/VerbProtocol.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace
{

using ServerReplies::json;
using ServerReplies::jsonText;
using ServerReplies::refusal;
using Field = SeriesWriter::Field;

// More than a series holds, with room for problems being moved about.
constexpr qsizetype MaxProblems = 2 * SeriesState::MaxProblems;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QStringList linesOf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

std::optional<QJsonObject> objectIn(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    return doc.object();
}

HttpReply pageFile(const QString& resource)
{
    QFile page(resource);
    HttpReply r;
    r.type = "text/html; charset=utf-8";
    r.body = page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
    return r;
}

} // namespace

// Framed by this server's pages alone.
HttpReply TeacherPreviews::page()
{
    HttpReply r = pageFile(QStringLiteral(":/page/index.html"));
    r.headers.append(qMakePair(QByteArray("Content-Security-Policy"),
                               QByteArray("default-src 'self'; img-src 'self' data:; media-src "
                                          "'self'; frame-ancestors 'self'; base-uri 'none'; "
                                          "form-action 'self'")));
    return r;
}

namespace
{

HttpReply notJson()
{
    return refusal(
        400, QStringLiteral("要求の形が正しくありません（JSON のオブジェクトではありません）"));
}

QJsonObject finding(int problem, const QString& field, int line, bool error, const QString& message)
{
    return {{QStringLiteral("problem"), problem},
            {QStringLiteral("field"), field},
            {QStringLiteral("line"), line},
            {QStringLiteral("error"), error},
            {QStringLiteral("message"), message}};
}

// The part a problem's fault is about: the reader's reasons begin with it.
QString faultField(const QString& fault)
{
    if (fault.startsWith(QStringLiteral("正解"))) {
        return QStringLiteral("answer");
    }
    return fault.startsWith(QStringLiteral("項目")) ? QStringLiteral("terms")
                                                    : QStringLiteral("groups");
}

// What the reader says about the text, each at its problem (-1: none) and
// field; `only` >= 0 keeps that problem's alone.
QJsonArray readerFindings(const SeriesParser::Result& read, const QStringList& lines, int only)
{
    QJsonArray out;
    for (qsizetype i = 0; i < read.problems.size(); ++i) {
        const SeriesParser::Draft& d = read.problems.at(i);
        const QString fault = SeriesParser::problemFault(d);
        if (!fault.isEmpty() && (only < 0 || only == i)) {
            out.append(finding(static_cast<int>(i), faultField(fault), d.problem.lines.heading,
                               true, fault));
        }
    }
    TextFile::ReadResult file;
    for (const QString& line : lines) {
        file.lines.append({line, 0, 0, true});
    }
    for (const Finding& f : read.warnings + TextFindings::controlCharacters(file)) {
        const SeriesSplice::Place at = SeriesSplice::placeOf(read, f.line);
        if (only < 0 || only == at.problem) {
            out.append(finding(at.problem,
                               at.problem < 0 ? QStringLiteral("text")
                                              : QLatin1String(SeriesWriter::fieldName(at.field)),
                               f.line, f.kind == Finding::Kind::Error, f.message));
        }
    }
    for (const int line : read.orphanQuestionLines) {
        if (only < 0) {
            out.append(finding(-1, QStringLiteral("text"), line, true,
                               QStringLiteral("項目（Ａ群・語群）の見出しの行がありません")));
        }
    }
    return out;
}

// A problem as the form shows it (SeriesSplice::formOf).
QJsonObject problemJson(const SeriesParser::Draft& d)
{
    const Problem p = SeriesSplice::formOf(d);
    QJsonArray terms;
    for (qsizetype t = 0; t < p.terms.size(); ++t) {
        terms.append(QJsonObject{{QStringLiteral("text"), p.terms.at(t)},
                                 {QStringLiteral("group"), p.groupOfTerm.at(t)}});
    }
    return {{QStringLiteral("heading"), p.heading},
            {QStringLiteral("question"), p.question},
            {QStringLiteral("terms"), terms},
            {QStringLiteral("groups"), QJsonArray::fromStringList(p.groups)},
            {QStringLiteral("explanation"), p.explanation}};
}

QStringList strings(const QJsonValue& value)
{
    QStringList out;
    for (const QJsonValue& v : value.toArray()) {
        out.append(v.toString());
    }
    return out;
}

Problem problemFrom(const QJsonObject& o)
{
    Problem p;
    p.heading = o.value(QStringLiteral("heading")).toString();
    p.question = o.value(QStringLiteral("question")).toString();
    for (const QJsonValue& t : o.value(QStringLiteral("terms")).toArray()) {
        p.terms.append(t.toObject().value(QStringLiteral("text")).toString());
        p.groupOfTerm.append(t.toObject().value(QStringLiteral("group")).toInt());
    }
    p.groups = strings(o.value(QStringLiteral("groups")));
    p.explanation = o.value(QStringLiteral("explanation")).toString();
    return p;
}

// The lines before the first problem, without the blank ones that end them.
QStringList preambleOf(const SeriesParser::Result& read, const QStringList& lines)
{
    int first = static_cast<int>(lines.size()) + 1;
    if (!read.problems.isEmpty()) {
        first = read.problems.first().problem.lines.heading;
    }
    for (const int line : read.orphanQuestionLines) {
        first = std::min(first, line);
    }
    QStringList out = lines.mid(0, first - 1);
    while (!out.isEmpty() && SeriesParser::trimBlanks(out.last()).isEmpty()) {
        out.removeLast();
    }
    return out;
}

// Whether the form holds problem `d` whole: written back from the form, it
// reads as the text has it. A problem missing a heading line, cut short, or
// with a group shorter than its mark would lose text on the form's next edit.
bool formHolds(const SeriesParser::Draft& d)
{
    if (!d.hasTerms || !d.hasGroups || !d.hasAnswer || d.cutShort ||
        SeriesParser::problemFault(d).startsWith(QStringLiteral("分類群「"))) {
        return false;
    }
    const SeriesParser::Result back =
        SeriesParser::parse(SeriesWriter::problemLines(SeriesSplice::formOf(d)));
    if (back.problems.size() != 1 || !back.orphanQuestionLines.isEmpty()) {
        return false;
    }
    const Problem& was = d.problem;
    const Problem& now = back.problems.first().problem;
    return now.heading == was.heading && now.question.trimmed() == was.question.trimmed() &&
           now.terms == was.terms && now.groups == was.groups && now.explanation == was.explanation;
}

// The lines where the text holds what the form cannot, each told once.
QJsonArray formGaps(const SeriesParser::Result& read)
{
    QList<int> at = read.orphanQuestionLines;
    for (const SeriesParser::Draft& d : read.problems) {
        if (!formHolds(d)) {
            at.append(d.problem.lines.heading);
        }
    }
    std::sort(at.begin(), at.end());
    QJsonArray out;
    for (const int line : at) {
        out.append(finding(-1, QStringLiteral("text"), line, true,
                           QStringLiteral("この行からの問題はフォームでは表せません。フォームで"
                                          "編集するとこの部分が失われるため、フォームは読むだけに"
                                          "しています。先にテキストの表示で直してください")));
    }
    return out;
}

// Each problem's first line, for the preview to follow the text's cursor.
QJsonArray startsOf(const SeriesParser::Result& read)
{
    QJsonArray out;
    for (const SeriesParser::Draft& d : read.problems) {
        out.append(d.problem.lines.heading);
    }
    return out;
}

// The problems as the form shows them; `formHolds` false when the text has
// something the form would lose, which the findings then tell.
HttpReply parseText(const QJsonObject& in)
{
    const QStringList lines = linesOf(in.value(QStringLiteral("text")).toString());
    const SeriesParser::Result read = SeriesParser::parse(lines);
    QJsonArray problems;
    for (const SeriesParser::Draft& d : read.problems) {
        problems.append(problemJson(d));
    }
    const QJsonArray gaps = formGaps(read);
    QJsonArray findings = readerFindings(read, lines, -1);
    for (const QJsonValue& gap : gaps) {
        findings.append(gap);
    }
    return json(200,
                {{QStringLiteral("problems"), problems},
                 {QStringLiteral("preamble"), QJsonArray::fromStringList(preambleOf(read, lines))},
                 {QStringLiteral("findings"), findings},
                 {QStringLiteral("lines"), startsOf(read)},
                 {QStringLiteral("formHolds"), gaps.isEmpty()}});
}

// The board of a problem being written: the terms and groups typed so far,
// a term whose group is not chosen yet in none; none while it has no term, or
// more than a board holds, or a group shorter than its mark.
std::optional<Problem> boardProblem(const SeriesParser::Draft& d)
{
    const QString fault = SeriesParser::problemFault(d);
    if (fault.isEmpty()) {
        return d.problem;
    }
    const Problem& p = d.problem;
    if (!d.hasAnswer || p.terms.isEmpty() || p.terms.size() > SeriesState::MaxTerms ||
        p.groups.size() > SeriesState::MaxFrames || fault.startsWith(QStringLiteral("分類群「"))) {
        return std::nullopt;
    }
    Problem out = p;
    out.groupOfTerm = SeriesSplice::formOf(d).groupOfTerm;
    return out;
}

// The text of the form's problems, and what the writer finds in those the
// form changed; null when they are not a list of problems of the text they
// were read from. Each problem comes with the index of the problem of
// `base` it was read from (`source`), and its fields unless it is as read;
// only what the form changed is written anew (SeriesSplice).
std::optional<QJsonObject> composeText(const QJsonObject& in)
{
    const QJsonValue given = in.value(QStringLiteral("problems"));
    if (!given.isArray() || given.toArray().size() > MaxProblems) {
        return std::nullopt;
    }
    QList<SeriesSplice::Edited> problems;
    QJsonArray findings;
    for (const QJsonValue& v : given.toArray()) {
        const QJsonObject o = v.toObject();
        const bool kept = !o.contains(QStringLiteral("heading"));
        problems.append({problemFrom(o), o.value(QStringLiteral("source")).toInt(-1), kept});
        for (const SeriesWriter::Fault& f :
             kept ? QList<SeriesWriter::Fault>() : SeriesWriter::faults(problems.last().problem)) {
            findings.append(finding(static_cast<int>(problems.size() - 1),
                                    QLatin1String(SeriesWriter::fieldName(f.field)), 0, true,
                                    f.message));
        }
    }
    // Without the text read, the lines before the first problem and the
    // problems written whole.
    const QJsonValue base = in.value(QStringLiteral("base"));
    const std::optional<QString> text = SeriesSplice::write(
        base.isString() ? linesOf(base.toString()) : strings(in.value(QStringLiteral("preamble"))),
        problems);
    if (!text) {
        return std::nullopt;
    }
    return QJsonObject{{QStringLiteral("text"), *text}, {QStringLiteral("findings"), findings}};
}

} // namespace

// One teacher session's preview board. Its requests come one at a time or
// not: each holds the board's lock.
struct TeacherPreviews::Preview {
    std::mutex mutex;
    std::unique_ptr<LearnerScreen> screen;
    Problem problem; // on the board
    qint64 seq = 0;
    qint64 lastUsed = 0;
    QByteArray lastKey;
    QByteArray lastReply;
};

TeacherPreviews::TeacherPreviews(QString workDir, const TextMeasure& measure)
    : workDir_(std::move(workDir)), measure_(measure)
{
}

TeacherPreviews::~TeacherPreviews() = default;

void TeacherPreviews::drop(const QByteArray& session)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    previews_.remove(session);
}

// Previews left alone for a while go; with too many, the one left alone
// longest.
std::shared_ptr<TeacherPreviews::Preview> TeacherPreviews::boardOf(const QByteArray& session,
                                                                   bool make)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const qint64 at = now();
    previews_.removeIf([at](const auto& p) { return p.value()->lastUsed < at - IdleMs; });
    std::shared_ptr<Preview> out = previews_.value(session);
    if (!out && make) {
        if (previews_.size() >= MaxPreviews) {
            previews_.erase(std::min_element(
                previews_.begin(), previews_.end(),
                [](const auto& a, const auto& b) { return a->lastUsed < b->lastUsed; }));
        }
        out = std::make_shared<Preview>();
        previews_.insert(session, out);
    }
    if (out) {
        out->lastUsed = at;
    }
    return out;
}

HttpReply TeacherPreviews::parse(const QByteArray& body)
{
    const std::optional<QJsonObject> in = objectIn(body);
    return in ? parseText(*in) : notJson();
}

HttpReply TeacherPreviews::compose(const QByteArray& body, const QByteArray& session)
{
    const std::optional<QJsonObject> in = objectIn(body);
    return in ? composeAndPreview(*in, session) : notJson();
}

HttpReply TeacherPreviews::preview(const QByteArray& body, const QByteArray& session)
{
    const std::optional<QJsonObject> in = objectIn(body);
    return in ? previewOne(*in, session) : notJson();
}

namespace
{

const QString Title = QStringLiteral("プレビュー");

} // namespace

// Composed text with, when `preview` names a problem, what the reader finds
// in the text and that problem's board: one request for each keystroke in
// the form.
HttpReply TeacherPreviews::composeAndPreview(const QJsonObject& in, const QByteArray& session)
{
    std::optional<QJsonObject> out = composeText(in);
    if (!out) {
        return refusal(400, QStringLiteral("問題の並びが正しくありません（%1問まで）。"
                                           "ページを読み込み直してください")
                                .arg(MaxProblems));
    }
    const QJsonValue index = in.value(QStringLiteral("preview"));
    if (index.isDouble()) {
        const QString text = out->value(QStringLiteral("text")).toString();
        const QStringList lines = linesOf(text);
        const SeriesParser::Result read = SeriesParser::parse(lines);
        out->insert(QStringLiteral("read"), readerFindings(read, lines, -1));
        out->insert(QStringLiteral("lines"), startsOf(read));
        if (std::optional<QJsonObject> board = previewOf(read, lines, index.toInt(-1), session)) {
            out->insert(QStringLiteral("preview"), *board);
        }
    }
    return json(200, *out);
}

HttpReply TeacherPreviews::previewOne(const QJsonObject& in, const QByteArray& session)
{
    const QStringList lines = linesOf(in.value(QStringLiteral("text")).toString());
    const SeriesParser::Result read = SeriesParser::parse(lines);
    const QJsonValue index = in.value(QStringLiteral("problem"));
    const std::optional<QJsonObject> board =
        index.isDouble() ? previewOf(read, lines, index.toInt(-1), session) : std::nullopt;
    return board ? json(200, *board)
                 : refusal(400, QStringLiteral("その番号の問題は、文の中にありません"));
}

// Problem `i` of the text on the session's preview board, with what is found
// about it; null when the text has no such problem.
std::optional<QJsonObject> TeacherPreviews::previewOf(const SeriesParser::Result& read,
                                                      const QStringList& lines, int i,
                                                      const QByteArray& session)
{
    if (i < 0 || i >= read.problems.size()) {
        return std::nullopt;
    }
    QJsonArray findings = readerFindings(read, lines, i);
    const SeriesParser::Draft& d = read.problems.at(i);
    const std::optional<Problem> drawn = boardProblem(d);
    QJsonObject out{{QStringLiteral("shown"), drawn.has_value()},
                    {QStringLiteral("whole"), SeriesParser::problemFault(d).isEmpty()}};
    if (drawn) {
        const Problem& problem = *drawn;
        const std::shared_ptr<Preview> p = boardOf(session, true);
        const std::lock_guard<std::mutex> lock(p->mutex);
        if (!p->screen) {
            p->screen = std::make_unique<LearnerScreen>(workDir_, measure_);
        }
        p->problem = problem;
        p->screen->showOnly(problem, Title);
        ++p->seq;
        for (const BoardFindings::Note& note : BoardFindings::layout(p->screen->screen(), problem) +
                                                   BoardFindings::unencodable(problem)) {
            findings.append(finding(i, QLatin1String(SeriesWriter::fieldName(note.field)),
                                    problem.lines.heading, false, note.message));
        }
        // The board as the preview page draws it, handed to it by the editor.
        out.insert(QStringLiteral("state"),
                   QJsonDocument::fromJson(VerbProtocol::state(*p->screen, p->seq, true)).object());
    }
    out.insert(QStringLiteral("findings"), findings);
    return out;
}

// The learner page's requests, made on the preview board with the learner's
// own verbs; nothing of them is recorded.
HttpReply TeacherPreviews::verb(QStringView verb, const HttpRequest& request,
                                const QByteArray& session)
{
    const bool look = verb == u"state";
    const VerbProtocol::Read read =
        look ? VerbProtocol::Read{} : VerbProtocol::read(verb, request.body);
    if (read.status == 404) {
        return refusal(404, read.why);
    }
    if ((request.method == "POST") == look) {
        return refusal(405, QStringLiteral("この方法では使えません"));
    }
    const std::shared_ptr<Preview> p = boardOf(session, false);
    if (!p) {
        return refusal(404, QStringLiteral("プレビューする問題がまだありません"));
    }
    const std::lock_guard<std::mutex> lock(p->mutex);
    if (look) {
        return jsonText(200, VerbProtocol::state(*p->screen, p->seq, true));
    }
    if (!read.command) {
        return refusal(read.status, read.why);
    }
    const Requests::Command& c = *read.command;
    if (!c.key.isEmpty() && c.key == p->lastKey) {
        HttpReply again;
        again.body = p->lastReply;
        return again;
    }
    const auto refused = [&p](int status, const QString& reason) {
        return jsonText(status, VerbProtocol::refused(reason, *p->screen, p->seq, true));
    };
    if (c.seq != p->seq) {
        return refused(409, QStringLiteral("問題が書き換えられました。いまの盤面を表示します"));
    }
    if (const std::optional<LearnerScreen::Refusal> no = p->screen->act(c)) {
        return refused(no->status, no->reason);
    }
    ++p->seq;
    // Leaving the problem (終了) brings it back: the preview has no list.
    if (p->screen->screen().screen() == Screen::SeriesList) {
        p->screen->showOnly(p->problem, Title);
    }
    HttpReply r = jsonText(200, VerbProtocol::state(*p->screen, p->seq, true));
    p->lastKey = c.key;
    p->lastReply = r.body;
    return r;
}
