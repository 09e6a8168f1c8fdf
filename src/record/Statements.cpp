#include "record/Statements.h"

#include "record/HomePage.h"
#include "record/ProblemId.h"
#include "record/StatementParts.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>

namespace
{

constexpr QLatin1StringView Version("1.0.3");
constexpr QLatin1StringView AnsweredVerb("http://adlnet.gov/expapi/verbs/answered");
constexpr QLatin1StringView Interaction("http://adlnet.gov/expapi/activities/cmi.interaction");
constexpr QLatin1StringView AttemptKey("urn:velmorant:attempt");

QJsonObject inJapanese(const QString& text)
{
    return {{QStringLiteral("ja"), text}};
}

// The matching interaction's pairs: "1[.]2[,]2[.]1" puts term 1 in group 2
// and term 2 in group 1.
QString pairs(const QList<int>& groupOfTerm)
{
    QString out;
    for (qsizetype i = 0; i < groupOfTerm.size(); ++i) {
        if (i > 0) {
            out += QLatin1String("[,]");
        }
        out += QString::number(i + 1) + QLatin1String("[.]") + QString::number(groupOfTerm.at(i));
    }
    return out;
}

QJsonArray choices(const QStringList& texts)
{
    QJsonArray out;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        out.append(QJsonObject{{QStringLiteral("id"), QString::number(i + 1)},
                               {QStringLiteral("description"), inJapanese(texts.at(i))}});
    }
    return out;
}

QString duration(qint64 ms)
{
    ms = std::max<qint64>(ms, 0);
    return QStringLiteral("PT%1.%2S")
        .arg(QString::number(ms / 1000), QString::number(ms % 1000).rightJustified(3, u'0'));
}

QJsonObject definitionOf(const Answer& a)
{
    return {{QStringLiteral("type"), Interaction},
            {QStringLiteral("name"), inJapanese(a.heading)},
            {QStringLiteral("description"), inJapanese(a.question)},
            {QStringLiteral("interactionType"), QStringLiteral("matching")},
            {QStringLiteral("correctResponsesPattern"), QJsonArray{pairs(a.correct)}},
            {QStringLiteral("source"), choices(a.terms)},
            {QStringLiteral("target"), choices(a.groups)}};
}

QJsonObject resultOf(const Answer& a)
{
    const QJsonObject score{{QStringLiteral("raw"), a.right},
                            {QStringLiteral("min"), 0},
                            {QStringLiteral("max"), static_cast<int>(a.terms.size())}};
    return {{QStringLiteral("success"), a.success},
            {QStringLiteral("response"), pairs(a.placed)},
            {QStringLiteral("duration"), duration(a.durationMs)},
            {QStringLiteral("score"), score}};
}

// Reads the fields of a statement and keeps the first fault found, named by
// the field's path ("result.score.raw"). Paths are put together only for a
// fault, so a good statement costs no more than its values.
class Fields
{
public:
    explicit Fields(QString* why) : why_(why) {}

    bool ok() const { return ok_; }
    bool fail(const QString& reason)
    {
        if (ok_ && why_ != nullptr) {
            *why_ = reason;
        }
        ok_ = false;
        return false;
    }

    QJsonValue get(const QJsonObject& o, QLatin1StringView parent, QLatin1StringView key,
                   QJsonValue::Type type)
    {
        QJsonValue v = o.value(key);
        if (v.type() != type) {
            fail(v.isUndefined() ? QStringLiteral("「%1」がありません").arg(path(parent, key))
                                 : QStringLiteral("「%1」が%2ではありません")
                                       .arg(path(parent, key), typeName(type)));
        }
        return v;
    }
    QString text(const QJsonObject& o, QLatin1StringView parent, QLatin1StringView key)
    {
        return get(o, parent, key, QJsonValue::String).toString();
    }
    QJsonObject object(const QJsonObject& o, QLatin1StringView parent, QLatin1StringView key)
    {
        return get(o, parent, key, QJsonValue::Object).toObject();
    }
    // A language map's Japanese text.
    QString japanese(const QJsonObject& o, QLatin1StringView parent, QLatin1StringView key)
    {
        const QJsonValue v = object(o, parent, key).value(QLatin1StringView("ja"));
        if (ok_ && !v.isString()) {
            fail(QStringLiteral("「%1.ja」（日本語の文字列）がありません").arg(path(parent, key)));
        }
        return v.toString();
    }
    void expect(const QJsonObject& o, QLatin1StringView parent, QLatin1StringView key,
                QLatin1StringView value)
    {
        if (text(o, parent, key) != value && ok_) {
            fail(QStringLiteral("「%1」が「%2」ではありません").arg(path(parent, key), value));
        }
    }
    int whole(const QJsonObject& o, QLatin1StringView parent, QLatin1StringView key, int least,
              int most)
    {
        const double d = get(o, parent, key, QJsonValue::Double).toDouble();
        if (ok_ && (d != std::floor(d) || d < least || d > most)) {
            fail(QStringLiteral("「%1」が%2から%3までの整数ではありません")
                     .arg(path(parent, key), QString::number(least), QString::number(most)));
            return 0;
        }
        return static_cast<int>(d);
    }

    static QString path(QLatin1StringView parent, QLatin1StringView key)
    {
        return parent.isEmpty() ? QString(key) : parent + QLatin1Char('.') + key;
    }

private:
    static QString typeName(QJsonValue::Type type)
    {
        switch (type) {
        case QJsonValue::String:
            return QStringLiteral("文字列");
        case QJsonValue::Double:
            return QStringLiteral("数");
        case QJsonValue::Bool:
            return QStringLiteral("true か false");
        case QJsonValue::Object:
            return QStringLiteral("オブジェクト");
        case QJsonValue::Array:
            return QStringLiteral("配列");
        default:
            return QStringLiteral("null");
        }
    }

    QString* why_;
    bool ok_ = true;
};

} // namespace

// The values of a statement's fields, read from their texts; shared with
// FastStatementReader.
namespace StatementParts
{

// An id "1".."most" as this program writes it: digits, no leading zero.
int idOf(QStringView text, qsizetype most)
{
    if (text.isEmpty() || text.size() > 3 || text.front() == u'0') {
        return 0;
    }
    int n = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return 0;
        }
        n = n * 10 + (c.unicode() - u'0');
    }
    return n <= most ? n : 0;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The group of each term from "1[.]2[,]2[.]1": every term paired once with
// a group, in any order. False when the pairs are not that. Read in one
// pass without cutting the text: a year of a class has millions of pairs.
bool readPairs(QStringView text, qsizetype terms, qsizetype groups, QList<int>* groupOfTerm)
{
    groupOfTerm->fill(0, terms);
    qsizetype count = 0;
    qsizetype at = 0;
    const auto id = [&](qsizetype most) {
        const qsizetype start = at;
        while (at < text.size() && isAsciiDigit(text[at])) {
            ++at;
        }
        return idOf(text.sliced(start, at - start), most);
    };
    // "[mark]", compared in place: a call for each would cost more than the
    // reading of the rest.
    const auto skip = [&](char16_t mark) {
        const bool there = at + 3 <= text.size() && text[at] == u'[' && text[at + 1] == mark &&
                           text[at + 2] == u']';
        at += there ? 3 : 0;
        return there;
    };
    while (true) {
        const int term = id(terms);
        const int group = term != 0 && skip(u'.') ? id(groups) : 0;
        if (group == 0 || groupOfTerm->at(term - 1) != 0) {
            return false;
        }
        (*groupOfTerm)[term - 1] = group;
        ++count;
        if (at == text.size()) {
            return count == terms;
        }
        if (!skip(u',')) {
            return false;
        }
    }
}

// An ISO 8601 duration of hours, minutes and seconds ("PT12.345S",
// "PT1H2M3S"); -1 when it is not one. Fractions of a second finer than a
// millisecond are dropped.
qint64 durationMsOf(QStringView text)
{
    if (!text.startsWith(u"PT") || text.size() < 4) {
        return -1;
    }
    qint64 ms = 0;
    int lastUnit = 0; // hours, minutes, seconds in this order
    for (qsizetype i = 2; i < text.size(); ++i) {
        qint64 whole = 0;
        const qsizetype start = i;
        for (; i < text.size() && isAsciiDigit(text[i]) && i - start < 12; ++i) {
            whole = whole * 10 + (text[i].unicode() - u'0');
        }
        const bool hasWhole = i > start;
        qint64 fraction = 0;
        int fractionDigits = -1; // no fraction
        if (i < text.size() && text[i] == u'.') {
            for (fractionDigits = 0, ++i; i < text.size() && isAsciiDigit(text[i]); ++i) {
                fraction =
                    fractionDigits < 3 ? fraction * 10 + (text[i].unicode() - u'0') : fraction;
                ++fractionDigits;
            }
            for (int d = fractionDigits; d < 3; ++d) {
                fraction *= 10;
            }
        }
        const int unit =
            i < text.size() ? static_cast<int>(QStringView(u"HMS").indexOf(text[i])) + 1 : 0;
        if (!hasWhole || unit <= lastUnit || fractionDigits == 0 ||
            (fractionDigits > 0 && unit != 3)) {
            return -1;
        }
        static constexpr qint64 UnitMs[] = {0, 3600000, 60000, 1000};
        ms += whole * UnitMs[unit] + fraction;
        lastUnit = unit;
    }
    return ms;
}

int digits(QStringView text, qsizetype at, qsizetype count)
{
    int n = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        if (!isAsciiDigit(text[i])) {
            return -1;
        }
        n = n * 10 + (text[i].unicode() - u'0');
    }
    return n;
}

// "2026-12-08T03:43:11.123Z" as this program writes it, read without
// QDateTime's general parser; any other ISO 8601 time with its offset
// through it. Nothing when it is no such time.
std::optional<qint64> timestampMsOf(QStringView text)
{
    if (text.size() == 24 && text[4] == u'-' && text[7] == u'-' && text[10] == u'T' &&
        text[13] == u':' && text[16] == u':' && text[19] == u'.' && text[23] == u'Z') {
        const int year = digits(text, 0, 4);
        const QDate date(year, digits(text, 5, 2), digits(text, 8, 2));
        const int h = digits(text, 11, 2);
        const int m = digits(text, 14, 2);
        const int sec = digits(text, 17, 2);
        const int ms = digits(text, 20, 3);
        if (year <= 0 || !date.isValid() || h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 ||
            sec > 59 || ms < 0) {
            return std::nullopt;
        }
        return (date.toJulianDay() - 2440588) * 86400000 + h * 3600000LL + m * 60000LL +
               sec * 1000LL + ms;
    }
    const QDateTime at = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    if (!at.isValid() || at.timeSpec() == Qt::LocalTime) {
        return std::nullopt;
    }
    return at.toMSecsSinceEpoch();
}

} // namespace StatementParts

namespace
{

using namespace StatementParts;

// A matching interaction's source or target: ids "1".."n" in order, each
// with its Japanese text.
QStringList readChoices(Fields& f, const QJsonObject& definition, QLatin1StringView key)
{
    constexpr QLatin1StringView Parent("object.definition");
    const QJsonArray choices = f.get(definition, Parent, key, QJsonValue::Array).toArray();
    QStringList out;
    out.reserve(choices.size());
    for (qsizetype i = 0; i < choices.size() && f.ok(); ++i) {
        const QJsonObject choice = choices.at(i).toObject();
        const auto where = [&] {
            return QStringLiteral("「%1」の%2番目")
                .arg(Fields::path(Parent, key), QString::number(i + 1));
        };
        if (idOf(choice.value(QLatin1StringView("id")).toString(), choices.size()) != i + 1) {
            f.fail(QStringLiteral("%1のidが「%2」ではありません")
                       .arg(where(), QString::number(i + 1)));
        }
        const QJsonValue text = choice.value(QLatin1StringView("description"))
                                    .toObject()
                                    .value(QLatin1StringView("ja"));
        if (f.ok() && !text.isString()) {
            f.fail(QStringLiteral("%1に日本語の説明（description.ja）がありません").arg(where()));
        }
        out.append(text.toString());
    }
    if (f.ok() && out.isEmpty()) {
        f.fail(QStringLiteral("「%1」が空です").arg(Fields::path(Parent, key)));
    }
    return out;
}

void readActor(Fields& f, const QJsonObject& statement, Answer* a)
{
    constexpr QLatin1StringView Actor("actor");
    const QJsonObject actor = f.object(statement, {}, Actor);
    f.expect(actor, Actor, QLatin1StringView("objectType"), QLatin1StringView("Agent"));
    a->learnerName = f.text(actor, Actor, QLatin1StringView("name"));
    const QJsonObject account = f.object(actor, Actor, QLatin1StringView("account"));
    constexpr QLatin1StringView Account("actor.account");
    a->homePage = f.text(account, Account, QLatin1StringView("homePage"));
    if (f.ok() && !HomePage::isIri(a->homePage)) {
        f.fail(QStringLiteral("学習者のホームページ（actor.account.homePage）「%1」が"
                              "IRIではありません")
                   .arg(a->homePage));
    }
    a->learner = f.text(account, Account, QLatin1StringView("name"));
    if (f.ok() && a->learner.isEmpty()) {
        f.fail(QStringLiteral("学習者の名前（actor.account.name）が空です"));
    }
}

// The problem's id names its series and the problem's key there.
void readProblemId(Fields& f, const QString& id, Answer* a)
{
    const std::optional<ProblemIds::Parsed> parsed = ProblemIds::parse(id);
    if (f.ok() && !parsed) {
        f.fail(QStringLiteral("問題のid（object.id）「%1」が「urn:velmorant:problem:"
                              "シリーズ名:問題のキー」ではありません")
                   .arg(id));
    }
    if (parsed) {
        a->series = parsed->series;
        a->problemHash = parsed->key;
    }
}

// The problem's texts as read before from an equal definition: true when
// there was one.
bool takeKnown(const QHash<QString, StatementReader::Known>* known, const QString& id,
               const QJsonObject& definition, Answer* a)
{
    const auto it = known != nullptr ? known->constFind(id)
                                     : QHash<QString, StatementReader::Known>::const_iterator();
    if (known == nullptr || it == known->constEnd() || it->definition != definition) {
        return false;
    }
    const Answer& texts = it->texts;
    a->series = texts.series;
    a->problemHash = texts.problemHash;
    a->heading = texts.heading;
    a->question = texts.question;
    a->terms = texts.terms;
    a->groups = texts.groups;
    a->correct = texts.correct;
    return true;
}

void readObject(Fields& f, const QJsonObject& statement, Answer* a,
                QHash<QString, StatementReader::Known>* known)
{
    constexpr QLatin1StringView Object("object");
    const QJsonObject object = f.object(statement, {}, Object);
    f.expect(object, Object, QLatin1StringView("objectType"), QLatin1StringView("Activity"));
    const QString id = f.text(object, Object, QLatin1StringView("id"));
    const QJsonObject definition = f.object(object, Object, QLatin1StringView("definition"));
    if (f.ok() && takeKnown(known, id, definition, a)) {
        return;
    }
    readProblemId(f, id, a);
    constexpr QLatin1StringView Definition("object.definition");
    f.expect(definition, Definition, QLatin1StringView("type"), Interaction);
    f.expect(definition, Definition, QLatin1StringView("interactionType"),
             QLatin1StringView("matching"));
    a->heading = f.japanese(definition, Definition, QLatin1StringView("name"));
    a->question = f.japanese(definition, Definition, QLatin1StringView("description"));
    a->terms = readChoices(f, definition, QLatin1StringView("source"));
    a->groups = readChoices(f, definition, QLatin1StringView("target"));
    const QJsonArray patterns =
        f.get(definition, Definition, QLatin1StringView("correctResponsesPattern"),
              QJsonValue::Array)
            .toArray();
    if (f.ok() && (patterns.size() != 1 || !readPairs(patterns.at(0).toString(), a->terms.size(),
                                                      a->groups.size(), &a->correct))) {
        f.fail(QStringLiteral("正解（object.definition.correctResponsesPattern）が、%1個の項目と"
                              "%2個の分類群の組み合わせ1つになっていません")
                   .arg(QString::number(a->terms.size()), QString::number(a->groups.size())));
    }
    if (f.ok() && known != nullptr) {
        known->insert(id, {definition, *a});
    }
}

void readResult(Fields& f, const QJsonObject& statement, Answer* a)
{
    constexpr QLatin1StringView Result("result");
    const QJsonObject result = f.object(statement, {}, Result);
    const qsizetype terms = a->terms.size();
    const QString response = f.text(result, Result, QLatin1StringView("response"));
    if (f.ok() && !readPairs(response, terms, a->groups.size(), &a->placed)) {
        f.fail(QStringLiteral("答え（result.response）「%1」が、%2個の項目をそれぞれ%3個の"
                              "分類群のどれかに入れた組み合わせになっていません")
                   .arg(response, QString::number(terms), QString::number(a->groups.size())));
    }
    a->success = f.get(result, Result, QLatin1StringView("success"), QJsonValue::Bool).toBool();
    const QString duration = f.text(result, Result, QLatin1StringView("duration"));
    a->durationMs = durationMsOf(duration);
    if (f.ok() && a->durationMs < 0) {
        f.fail(
            QStringLiteral("かかった時間（result.duration）「%1」が「PT12.345S」の形ではありません")
                .arg(duration));
    }
    const QJsonObject score = f.object(result, Result, QLatin1StringView("score"));
    constexpr QLatin1StringView Score("result.score");
    a->right = f.whole(score, Score, QLatin1StringView("raw"), 0, static_cast<int>(terms));
    f.whole(score, Score, QLatin1StringView("min"), 0, 0);
    f.whole(score, Score, QLatin1StringView("max"), static_cast<int>(terms),
            static_cast<int>(terms));
    if (!f.ok()) {
        return;
    }
    int right = 0;
    for (qsizetype i = 0; i < terms; ++i) {
        right += a->placed.at(i) == a->correct.at(i) ? 1 : 0;
    }
    if (right != a->right || a->success != (right == terms)) {
        f.fail(QStringLiteral("点数（result.score.raw = %1）か成否（result.success）が、答えの"
                              "合っている項目の数（%2）と合いません")
                   .arg(QString::number(a->right), QString::number(right)));
    }
}

void readStatement(Fields& f, const QJsonObject& statement, Answer* a,
                   QHash<QString, StatementReader::Known>* known)
{
    if (!f.text(statement, {}, QLatin1StringView("version"))
             .startsWith(QLatin1StringView("1.0.")) &&
        f.ok()) {
        f.fail(QStringLiteral("xAPIの版（version）が1.0.xではありません"));
    }
    const QString id = f.text(statement, {}, QLatin1StringView("id"));
    a->id = QUuid::fromString(id);
    if (f.ok() && (id.size() != 36 || a->id.isNull())) {
        f.fail(QStringLiteral("記録のid「%1」がUUIDではありません").arg(id));
    }
    readActor(f, statement, a);
    const QJsonObject verb = f.object(statement, {}, QLatin1StringView("verb"));
    f.expect(verb, QLatin1StringView("verb"), QLatin1StringView("id"), AnsweredVerb);
    readObject(f, statement, a, known);
    readResult(f, statement, a);
    const QJsonObject context = f.object(statement, {}, QLatin1StringView("context"));
    const QJsonObject extensions =
        f.object(context, QLatin1StringView("context"), QLatin1StringView("extensions"));
    a->registration = context.value(QLatin1StringView("registration")).toString();
    a->attempt =
        f.whole(extensions, QLatin1StringView("context.extensions"), AttemptKey, 1, 1000000000);
    const QString timestamp = f.text(statement, {}, QLatin1StringView("timestamp"));
    const std::optional<qint64> at = timestampMsOf(timestamp);
    if (f.ok() && !at) {
        f.fail(QStringLiteral(
                   "時刻（timestamp）「%1」が「2026-12-08T03:43:11.123Z」の形ではありません")
                   .arg(timestamp));
    }
    a->timestampMs = at.value_or(0);
}

} // namespace

namespace Statements
{

Answer about(const Problem& problem, const QString& series, const QString& key)
{
    Answer a;
    a.series = series;
    a.problemHash = key;
    a.heading = problem.heading;
    a.question = problem.question;
    a.terms = problem.terms;
    a.groups = problem.groups;
    a.correct = problem.groupOfTerm;
    return a;
}

QByteArray line(const Answer& a)
{
    const QJsonObject actor{
        {QStringLiteral("objectType"), QStringLiteral("Agent")},
        {QStringLiteral("name"), a.learnerName},
        {QStringLiteral("account"),
         QJsonObject{{QStringLiteral("homePage"),
                      a.homePage.isEmpty() ? QString(HomePage::Default) : a.homePage},
                     {QStringLiteral("name"), a.learner}}}};
    const QJsonObject verb{{QStringLiteral("id"), AnsweredVerb},
                           {QStringLiteral("display"),
                            QJsonObject{{QStringLiteral("en-US"), QStringLiteral("answered")},
                                        {QStringLiteral("ja"), QStringLiteral("回答した")}}}};
    const QJsonObject object{{QStringLiteral("objectType"), QStringLiteral("Activity")},
                             {QStringLiteral("id"), a.problemId()},
                             {QStringLiteral("definition"), definitionOf(a)}};
    QJsonObject context{
        {QStringLiteral("extensions"), QJsonObject{{QString(AttemptKey), a.attempt}}}};
    if (!a.registration.isEmpty()) {
        context.insert(QStringLiteral("registration"), a.registration);
    }
    const QJsonObject statement{
        {QStringLiteral("id"), a.id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("actor"), actor},
        {QStringLiteral("verb"), verb},
        {QStringLiteral("object"), object},
        {QStringLiteral("result"), resultOf(a)},
        {QStringLiteral("context"), context},
        {QStringLiteral("timestamp"),
         QDateTime::fromMSecsSinceEpoch(a.timestampMs, Qt::UTC).toString(Qt::ISODateWithMs)},
        {QStringLiteral("version"), Version}};
    return QJsonDocument(statement).toJson(QJsonDocument::Compact);
}

std::optional<Answer> parse(QByteArrayView line, QString* why)
{
    return StatementReader().parse(line, why);
}

} // namespace Statements

std::optional<Answer> StatementReader::parse(QByteArrayView line, QString* why)
{
    QJsonParseError error;
    // Parsed where it lies: the document keeps copies of its values.
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(line.data(), line.size()), &error);
    if (error.error != QJsonParseError::NoError) {
        if (why != nullptr) {
            *why = QStringLiteral("JSONとして読めません（%1バイト目）").arg(error.offset + 1);
        }
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (why != nullptr) {
            *why = QStringLiteral("JSONのオブジェクトではありません");
        }
        return std::nullopt;
    }
    Fields fields(why);
    Answer answer;
    readStatement(fields, document.object(), &answer, &known_);
    if (!fields.ok()) {
        return std::nullopt;
    }
    return answer;
}
