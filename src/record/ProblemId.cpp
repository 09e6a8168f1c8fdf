#include "record/ProblemId.h"

#include "record/Answer.h"

#include <QCryptographicHash>
#include <QHash>
#include <QUrl>

#include <algorithm>

namespace
{

constexpr QLatin1StringView Prefix("urn:velmorant:problem:");
constexpr qsizetype HashLength = 16;

// Each part with its length before it, so that no two texts hash alike by
// moving a boundary.
void addText(QCryptographicHash& hash, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    hash.addData(QByteArray::number(utf8.size()) + ':');
    hash.addData(utf8);
}

void addList(QCryptographicHash& hash, const QStringList& list)
{
    hash.addData(QByteArray::number(list.size()) + ':');
    for (const QString& text : list) {
        addText(hash, text);
    }
}

QStringList numbers(const QList<int>& values)
{
    QStringList out;
    for (const int v : values) {
        out.append(QString::number(v));
    }
    return out;
}

QString hex(QCryptographicHash& hash)
{
    return QString::fromLatin1(hash.result().toHex().left(HashLength));
}

bool isLowerHex(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    });
}

// "1", "2", ...: a place among problems, no leading zero.
bool isPlace(QStringView text)
{
    return !text.isEmpty() && text.size() <= 4 && text.front() != u'0' &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool isKey(QStringView key)
{
    return key.size() > HashLength + 1 && key.at(HashLength) == u'-' &&
           isLowerHex(key.left(HashLength)) && isPlace(key.mid(HashLength + 1));
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The file name from its percent-encoded form; nothing when it holds what
// the encoding never writes (a blank, a letter beyond ASCII, an escape cut
// short) or its bytes are no UTF-8.
std::optional<QString> decoded(QStringView encoded)
{
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const QChar c = encoded.at(i);
        if (c <= u' ' || c > u'~' ||
            (c == u'%' && (i + 2 >= encoded.size() || !isHexDigit(encoded.at(i + 1)) ||
                           !isHexDigit(encoded.at(i + 2))))) {
            return std::nullopt;
        }
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(encoded.toLatin1());
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        return std::nullopt;
    }
    return text;
}

} // namespace

namespace ProblemIds
{

QString asked(const QStringList& terms, const QStringList& groups, const QList<int>& answers)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addList(hash, terms);
    addList(hash, groups);
    addList(hash, numbers(answers));
    return hex(hash);
}

QString asked(const Problem& problem)
{
    return asked(problem.terms, problem.groups, problem.groupOfTerm);
}

QStringList keysOf(const QList<Problem>& problems)
{
    QStringList keys;
    QHash<QString, int> seen;
    for (const Problem& p : problems) {
        const QString hash = asked(p);
        keys.append(hash + QLatin1Char('-') + QString::number(++seen[hash]));
    }
    return keys;
}

QString textHash(const Problem& problem)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addText(hash, problem.fullQuestion());
    addList(hash, problem.terms);
    addList(hash, problem.groups);
    addList(hash, numbers(problem.groupOfTerm));
    addText(hash, problem.explanation);
    return hex(hash);
}

bool isTextHash(QStringView key)
{
    return key.size() == HashLength && isLowerHex(key);
}

QString iri(const QString& series, const QString& key)
{
    // An old key keeps its old form, so that its id reads back the same.
    const QString file =
        isTextHash(key) ? series : QString::fromLatin1(QUrl::toPercentEncoding(series));
    return Prefix + file + QLatin1Char(':') + key;
}

std::optional<Parsed> parse(QStringView iri)
{
    const qsizetype colon = iri.lastIndexOf(u':');
    if (!iri.startsWith(Prefix) || colon <= Prefix.size()) {
        return std::nullopt;
    }
    const QStringView series = iri.mid(Prefix.size(), colon - Prefix.size());
    const QStringView key = iri.mid(colon + 1);
    if (isTextHash(key)) {
        return Parsed{series.toString(), key.toString()};
    }
    const std::optional<QString> file = isKey(key) ? decoded(series) : std::nullopt;
    if (!file || file->isEmpty()) {
        return std::nullopt;
    }
    return Parsed{*file, key.toString()};
}

} // namespace ProblemIds

QString Answer::problemId() const
{
    return ProblemIds::iri(series, problemHash);
}
