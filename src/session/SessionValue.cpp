#include "session/SessionValue.h"

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

QJsonArray ints(const QList<int>& list)
{
    QJsonArray out;
    for (const int i : list) {
        out.append(i);
    }
    return out;
}

QList<int> intsOf(const QJsonValue& v)
{
    QList<int> out;
    for (const QJsonValue& i : v.toArray()) {
        out.append(i.toInt(-1));
    }
    return out;
}

template <std::size_t N> QJsonArray flags(const std::array<bool, N>& a)
{
    QJsonArray out;
    for (const bool b : a) {
        out.append(b);
    }
    return out;
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

QJsonObject quizJson(const Quiz::State& q)
{
    QJsonArray slots;
    for (const QList<int>& frame : q.slots) {
        slots.append(ints(frame));
    }
    return {{QStringLiteral("slots"), slots},
            {QStringLiteral("lifted"), QJsonArray{q.liftedTerm, q.liftedFrame, q.liftedSlot}},
            {QStringLiteral("previousRight"), q.previousRight},
            {QStringLiteral("open"), q.open}};
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

QJsonObject boardJson(const SessionValue& v)
{
    QJsonArray terms;
    for (const SessionValue::TermPlace& t : v.terms) {
        terms.append(QJsonArray{t.left, t.top, static_cast<qint64>(t.back)});
    }
    return {{QStringLiteral("quiz"), quizJson(v.quiz)},
            {QStringLiteral("terms"), terms},
            {QStringLiteral("result"),
             QJsonObject{{QStringLiteral("shown"), v.resultShown},
                         {QStringLiteral("message"), v.resultMessage},
                         {QStringLiteral("messageShown"), v.resultMessageShown},
                         {QStringLiteral("buttons"), flags(v.resultButtons)}}},
            {QStringLiteral("arrows"), flags(v.arrows)},
            {QStringLiteral("explanation"), v.explanation},
            {QStringLiteral("carry"),
             QJsonArray{v.carry.term, v.carry.frame, static_cast<qint64>(v.carry.backColor)}}};
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

QJsonObject SessionValue::toJson() const
{
    QJsonArray refs;
    for (const ProblemRef& r : rows) {
        refs.append(QJsonArray{r.series, r.hash});
    }
    QJsonArray marks;
    for (const bool m : marked) {
        marks.append(m);
    }
    QJsonArray answers;
    for (const Answer& a : unsaved) {
        answers.append(QString::fromUtf8(Statements::line(a)));
    }
    QJsonObject o{{QStringLiteral("version"), 1},
                  {QStringLiteral("screen"), ScreenNames.at(static_cast<std::size_t>(screen))},
                  {QStringLiteral("source"), SourceNames.at(static_cast<std::size_t>(source))},
                  {QStringLiteral("entry"), entry},
                  {QStringLiteral("file"), file},
                  {QStringLiteral("textHash"), textHash},
                  {QStringLiteral("keys"), QJsonArray::fromStringList(keys)},
                  {QStringLiteral("rows"), refs},
                  {QStringLiteral("marked"), marks},
                  {QStringLiteral("problem"), QJsonArray{currentProblem, problemCount}},
                  {QStringLiteral("mark"), QJsonArray{markPending, markOffered, stayTakesMarkBack}},
                  {QStringLiteral("board"), boardJson(*this)},
                  {QStringLiteral("showing"), QJsonArray{showing.shownAtMs, showing.checks}},
                  {QStringLiteral("unsaved"), answers}};
    if (question) {
        o.insert(QStringLiteral("question"),
                 QJsonArray{QuestionNames.at(static_cast<std::size_t>(*question)), questionText});
    }
    return o;
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
