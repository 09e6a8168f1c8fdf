#include "server/admin/ClassList.h"

#include "files/TextEncoding.h"
#include "files/TextFile.h"

#include <QFile>
#include <QHash>

namespace ClassList
{

namespace
{

struct Field {
    QString text;
    int line = 1; // where its record starts
};

// The text in whichever encoding Excel saved it; false with `error` set
// when it is neither.
bool decode(const QByteArray& bytes, QString* text, QString* error)
{
    const TextEncoding::Detected detected = TextEncoding::detect(bytes);
    const QByteArray body = bytes.mid(detected.bomLength);
    switch (detected.encoding) {
    case TextEncoding::Encoding::Utf8:
        *text = QString::fromUtf8(body);
        return true;
    case TextEncoding::Encoding::Cp932:
        if (TextFile::decodeText(body, text)) {
            return true;
        }
        *error = QStringLiteral("名簿の文字コードが Shift_JIS（CP932）でも UTF-8 でもありません");
        return false;
    case TextEncoding::Encoding::Utf16:
        break;
    }
    *error = QStringLiteral("UTF-16 の名簿は読めません。Excel では「CSV UTF-8（コンマ区切り）」か"
                            "「CSV（コンマ区切り）」で保存してください");
    return false;
}

// The first field of each record. In CSV a field that starts with a quote
// may hold commas, doubled quotes and line ends; elsewhere a quote is text.
QList<Field> firstFields(const QString& text, bool csv)
{
    const QChar separator = csv ? QLatin1Char(',') : QLatin1Char('\t');
    QList<Field> fields;
    Field current;
    int line = 1;
    int field = 0;
    bool fieldStart = true;
    bool quoted = false;
    const auto take = [&current, &field](QChar c) {
        if (field == 0) {
            current.text += c;
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        const bool lineEnd = c == QLatin1Char('\n') || c == QLatin1Char('\r');
        const bool crlf = c == QLatin1Char('\r') && next == QLatin1Char('\n');
        if (quoted) {
            quoted = c != QLatin1Char('"') || next == QLatin1Char('"');
            i += c == QLatin1Char('"') && quoted ? 1 : 0;
            line += lineEnd && !crlf ? 1 : 0;
            if (quoted) {
                take(c);
            }
        } else if (lineEnd) {
            fields.append(current);
            i += crlf ? 1 : 0;
            current = {{}, ++line};
            field = 0;
            fieldStart = true;
        } else if (csv && fieldStart && c == QLatin1Char('"')) {
            quoted = true;
            fieldStart = false;
        } else {
            fieldStart = c == separator;
            field += fieldStart ? 1 : 0;
            if (!fieldStart) {
                take(c);
            }
        }
    }
    fields.append(current);
    return fields;
}

bool isHeader(const QString& name)
{
    static const QStringList Headers = {
        QStringLiteral("名前"),   QStringLiteral("氏名"),   QStringLiteral("なまえ"),
        QStringLiteral("生徒名"), QStringLiteral("児童名"), QStringLiteral("学習者"),
        QStringLiteral("name"),   QStringLiteral("names"),  QStringLiteral("student")};
    return Headers.contains(name.toLower());
}

QString nameProblem(const QString& name)
{
    if (name.size() > MaxNameLength) {
        return QStringLiteral("名前が%1文字を超えています").arg(MaxNameLength);
    }
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return QStringLiteral("名前に改行などの制御文字があります");
        }
    }
    return {};
}

} // namespace

Read fromBytes(const QByteArray& bytes, bool csv)
{
    Read r;
    QString text;
    QString error;
    if (!decode(bytes, &text, &error)) {
        r.errors.append(error);
        return r;
    }
    QHash<QString, int> seen;
    bool first = true;
    for (const Field& f : firstFields(text, csv)) {
        const QString name = f.text.trimmed();
        if (name.isEmpty() || (std::exchange(first, false) && isHeader(name))) {
            continue;
        }
        QString problem = nameProblem(name);
        if (problem.isEmpty() && seen.contains(name)) {
            problem = QStringLiteral("「%1」は%2行目と同じ名前です")
                          .arg(name, QString::number(seen.value(name)));
        }
        if (!problem.isEmpty()) {
            r.errors.append(QStringLiteral("%1行目: %2").arg(QString::number(f.line), problem));
            continue;
        }
        seen.insert(name, f.line);
        r.names.append(name);
    }
    if (r.names.isEmpty() && r.errors.isEmpty()) {
        r.errors.append(QStringLiteral("名簿に名前がありません"));
    }
    return r;
}

Read read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Read r;
        r.errors.append(QStringLiteral("名簿「%1」を読めません: %2").arg(path, file.errorString()));
        return r;
    }
    return fromBytes(file.readAll(), path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive));
}

} // namespace ClassList
