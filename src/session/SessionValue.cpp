#include "session/SessionValue.h"

#include "files/JsonWriter.h"
#include "record/Statements.h"

#include <QJsonArray>

namespace
{

// Names as they stand in the JSON, in the order of their enums.
const std::array<const char*, 4> ScreenNames = {"list", "problem", "result", "explanation"};
const std::array<const char*, 4> SourceNames = {"none", "series", "marked", "review"};
const std::array<const char*, 3> QuestionNames = {"quit", "endWithoutMarks", "closeWithoutMarks"};

template <std::size_t N> int indexOf(const std::array<const char*, N>& names, const QJsonValue& v)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (v.toString() == QLatin1String(names.at(i))) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QList<int> intsOf(const QJsonValue& v)
{
    QList<int> out;
    for (const QJsonValue& i : v.toArray()) {
        out.append(i.toInt(-1));
    }
    return out;
}

void writeInts(JsonWriter& out, const QList<int>& list)
{
    out.openArray();
    for (const int i : list) {
        out.value(i);
    }
    out.closeArray();
}

template <std::size_t N> void writeFlags(JsonWriter& out, const std::array<bool, N>& a)
{
    out.openArray();
    for (const bool b : a) {
        out.value(b);
    }
    out.closeArray();
}

template <std::size_t N> std::array<bool, N> flagsOf(const QJsonValue& v)
{
    std::array<bool, N> out{};
    const QJsonArray a = v.toArray();
    for (std::size_t i = 0; i < N && i < static_cast<std::size_t>(a.size()); ++i) {
        out.at(i) = a.at(static_cast<qsizetype>(i)).toBool();
    }
    return out;
}

void writeQuiz(JsonWriter& out, const Quiz::State& q)
{
    out.open().key(QLatin1StringView("slots")).openArray();
    for (const QList<int>& frame : q.slots) {
        writeInts(out, frame);
    }
    out.closeArray().key(QLatin1StringView("lifted")).openArray();
    out.value(q.liftedTerm).value(q.liftedFrame).value(q.liftedSlot).closeArray();
    out.key(QLatin1StringView("previousRight")).value(q.previousRight);
    out.key(QLatin1StringView("open")).value(q.open).close();
}

Quiz::State quizOf(const QJsonObject& o)
{
    Quiz::State q;
    const QJsonArray slots = o.value(QStringLiteral("slots")).toArray();
    for (std::size_t c = 0; c < q.slots.size() && c < static_cast<std::size_t>(slots.size()); ++c) {
        q.slots.at(c) = intsOf(slots.at(static_cast<qsizetype>(c)));
    }
    const QList<int> lifted = intsOf(o.value(QStringLiteral("lifted")));
    if (lifted.size() == 3) {
        q.liftedTerm = lifted.at(0);
        q.liftedFrame = lifted.at(1);
        q.liftedSlot = lifted.at(2);
    }
    q.previousRight = o.value(QStringLiteral("previousRight")).toInt();
    q.open = o.value(QStringLiteral("open")).toBool();
    return q;
}

float number(const QJsonValue& v)
{
    return static_cast<float>(v.toDouble());
}

void writeBoard(JsonWriter& out, const SessionValue& v)
{
    out.open().key(QLatin1StringView("quiz"));
    writeQuiz(out, v.quiz);
    out.key(QLatin1StringView("terms")).openArray();
    for (const SessionValue::TermPlace& t : v.terms) {
        out.openArray().value(t.left).value(t.top).value(qint64(t.back)).closeArray();
    }
    out.closeArray().key(QLatin1StringView("result")).open();
    out.key(QLatin1StringView("shown")).value(v.resultShown);
    out.key(QLatin1StringView("message")).value(v.resultMessage);
    out.key(QLatin1StringView("messageShown")).value(v.resultMessageShown);
    out.key(QLatin1StringView("buttons"));
    writeFlags(out, v.resultButtons);
    out.close().key(QLatin1StringView("arrows"));
    writeFlags(out, v.arrows);
    out.key(QLatin1StringView("explanation")).value(v.explanation);
    out.key(QLatin1StringView("carry")).openArray();
    out.value(v.carry.term).value(v.carry.frame).value(qint64(v.carry.backColor)).closeArray();
    out.close();
}

void readBoard(const QJsonObject& o, SessionValue& v)
{
    v.quiz = quizOf(o.value(QStringLiteral("quiz")).toObject());
    for (const QJsonValue& t : o.value(QStringLiteral("terms")).toArray()) {
        const QJsonArray a = t.toArray();
        v.terms.append(
            {number(a.at(0)), number(a.at(1)), static_cast<quint32>(a.at(2).toInteger())});
    }
    const QJsonObject result = o.value(QStringLiteral("result")).toObject();
    v.resultShown = result.value(QStringLiteral("shown")).toBool();
    v.resultMessage = result.value(QStringLiteral("message")).toString();
    v.resultMessageShown = result.value(QStringLiteral("messageShown")).toBool();
    v.resultButtons = flagsOf<6>(result.value(QStringLiteral("buttons")));
    v.arrows = flagsOf<2>(o.value(QStringLiteral("arrows")));
    v.explanation = o.value(QStringLiteral("explanation")).toBool();
    const QJsonArray carry = o.value(QStringLiteral("carry")).toArray();
    v.carry = {carry.at(0).toInt(-1), carry.at(1).toInt(),
               static_cast<quint32>(carry.at(2).toInteger())};
    // A press or a drag under way, in values stored before front ends kept
    // their own, is no part of the session.
}

} // namespace

QByteArray SessionValue::toJson() const
{
    JsonWriter out;
    out.open().key(QLatin1StringView("version")).value(1);
    out.key(QLatin1StringView("screen"))
        .value(QLatin1StringView(ScreenNames.at(static_cast<std::size_t>(screen))));
    out.key(QLatin1StringView("source"))
        .value(QLatin1StringView(SourceNames.at(static_cast<std::size_t>(source))));
    out.key(QLatin1StringView("entry")).value(entry);
    out.key(QLatin1StringView("file")).value(file);
    out.key(QLatin1StringView("textHash")).value(textHash);
    out.key(QLatin1StringView("keys")).openArray();
    for (const QString& k : keys) {
        out.value(k);
    }
    out.closeArray().key(QLatin1StringView("rows")).openArray();
    for (const ProblemRef& r : rows) {
        out.openArray().value(r.series).value(r.hash).closeArray();
    }
    out.closeArray().key(QLatin1StringView("marked")).openArray();
    for (const bool m : marked) {
        out.value(m);
    }
    out.closeArray().key(QLatin1StringView("problem")).openArray();
    out.value(currentProblem).value(problemCount).closeArray();
    out.key(QLatin1StringView("mark")).openArray();
    out.value(markPending).value(markOffered).value(stayTakesMarkBack).closeArray();
    out.key(QLatin1StringView("board"));
    writeBoard(out, *this);
    out.key(QLatin1StringView("showing")).openArray();
    out.value(showing.shownAtMs).value(showing.checks).closeArray();
    out.key(QLatin1StringView("unsaved")).openArray();
    for (const Answer& a : unsaved) {
        out.value(QString::fromUtf8(Statements::line(a)));
    }
    out.closeArray();
    if (question) {
        out.key(QLatin1StringView("question")).openArray();
        out.value(QLatin1StringView(QuestionNames.at(static_cast<std::size_t>(*question))));
        out.value(questionText).closeArray();
    }
    out.close();
    return out.take();
}

std::optional<SessionValue> SessionValue::fromJson(const QJsonObject& o, QString* why)
{
    SessionValue v;
    const int screen = indexOf(ScreenNames, o.value(QStringLiteral("screen")));
    const int source = indexOf(SourceNames, o.value(QStringLiteral("source")));
    if (o.value(QStringLiteral("version")).toInt() != 1 || screen < 0 || source < 0) {
        *why = QStringLiteral("学習の続きの形が違います");
        return std::nullopt;
    }
    v.screen = static_cast<Screen>(screen);
    v.source = static_cast<Source>(source);
    v.entry = o.value(QStringLiteral("entry")).toInt(-1);
    v.file = o.value(QStringLiteral("file")).toString();
    v.textHash = o.value(QStringLiteral("textHash")).toString();
    for (const QJsonValue& k : o.value(QStringLiteral("keys")).toArray()) {
        v.keys.append(k.toString());
    }
    for (const QJsonValue& r : o.value(QStringLiteral("rows")).toArray()) {
        v.rows.append({r.toArray().at(0).toString(), r.toArray().at(1).toString()});
    }
    for (const QJsonValue& m : o.value(QStringLiteral("marked")).toArray()) {
        v.marked.push_back(m.toBool());
    }
    const QList<int> problem = intsOf(o.value(QStringLiteral("problem")));
    v.currentProblem = problem.value(0);
    v.problemCount = problem.value(1);
    const QJsonArray mark = o.value(QStringLiteral("mark")).toArray();
    v.markPending = mark.at(0).toBool();
    v.markOffered = mark.at(1).toBool(true);
    v.stayTakesMarkBack = mark.at(2).toBool();
    readBoard(o.value(QStringLiteral("board")).toObject(), v);
    const QJsonArray showing = o.value(QStringLiteral("showing")).toArray();
    v.showing = {showing.at(0).toInteger(), showing.at(1).toInt()};
    for (const QJsonValue& line : o.value(QStringLiteral("unsaved")).toArray()) {
        QString bad;
        if (std::optional<Answer> a = Statements::parse(line.toString().toUtf8(), &bad)) {
            v.unsaved.append(std::move(*a));
        }
    }
    if (const QJsonArray q = o.value(QStringLiteral("question")).toArray(); !q.isEmpty()) {
        if (const int kind = indexOf(QuestionNames, q.at(0)); kind >= 0) {
            v.question = static_cast<Question>(kind);
            v.questionText = q.at(1).toString();
        }
    }
    return v;
}
