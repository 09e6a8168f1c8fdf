#include "server/admin/ClassList.h"

#include "files/TextEncoding.h"
#include "files/TextFile.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <optional>

namespace ClassList
{

namespace
{

constexpr qsizetype HeaderSearchRows = 5;

struct Record {
    QStringList fields;
    int line = 1; // where it starts
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

// Each record's fields. In CSV a field that starts with a quote may hold
// commas, doubled quotes and line ends; elsewhere a quote is text.
QList<Record> records(const QString& text, bool csv)
{
    const QChar separator = csv ? QLatin1Char(',') : QLatin1Char('\t');
    QList<Record> out;
    Record current{{QString()}, 1};
    int line = 1;
    bool fieldStart = true;
    bool quoted = false;
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
                current.fields.last() += c;
            }
        } else if (lineEnd) {
            out.append(current);
            i += crlf ? 1 : 0;
            current = {{QString()}, ++line};
            fieldStart = true;
        } else if (csv && fieldStart && c == QLatin1Char('"')) {
            quoted = true;
            fieldStart = false;
        } else if (c == separator) {
            current.fields.append(QString());
            fieldStart = true;
        } else {
            current.fields.last() += c;
            fieldStart = false;
        }
    }
    out.append(current);
    return out;
}

// Where the header row puts each column; -1 where it has none. A list may
// give the name whole or as 姓 and 名 in columns of their own, and the
// class as 組 alone or with a 学年 beside it.
struct Columns {
    int className = -1;
    int number = -1;
    int name = 0;
    int givenName = -1; // with `name` as the family name
    int grade = -1;
};

int columnOf(const QStringList& fields, const QStringList& headers)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (headers.contains(fields.at(i).trimmed().toLower())) {
            return int(i);
        }
    }
    return -1;
}

// The columns a first row names, if it names the names' column; an error
// when it names other columns but none for the name, so that no header
// word is taken for a learner.
std::optional<Columns> header(const QStringList& fields, QString* error)
{
    static const QStringList Names = {
        QStringLiteral("名前"),   QStringLiteral("氏名"),   QStringLiteral("なまえ"),
        QStringLiteral("生徒名"), QStringLiteral("児童名"), QStringLiteral("学習者"),
        QStringLiteral("name"),   QStringLiteral("names"),  QStringLiteral("student")};
    static const QStringList FamilyNames = {QStringLiteral("姓"), QStringLiteral("氏"),
                                            QStringLiteral("苗字"), QStringLiteral("名字")};
    static const QStringList GivenNames = {QStringLiteral("名")};
    static const QStringList Classes = {QStringLiteral("組"), QStringLiteral("クラス"),
                                        QStringLiteral("class")};
    static const QStringList Numbers = {QStringLiteral("番号"), QStringLiteral("出席番号"),
                                        QStringLiteral("no"), QStringLiteral("no."),
                                        QStringLiteral("number")};
    static const QStringList Grades = {QStringLiteral("学年"), QStringLiteral("grade")};
    const Columns found{columnOf(fields, Classes), columnOf(fields, Numbers),
                        columnOf(fields, Names), -1, columnOf(fields, Grades)};
    if (found.name >= 0) {
        return found;
    }
    const int family = columnOf(fields, FamilyNames);
    const int given = columnOf(fields, GivenNames);
    if (family >= 0 && given >= 0) {
        return Columns{found.className, found.number, family, given, found.grade};
    }
    if (found.className >= 0 || found.number >= 0 || family >= 0 || given >= 0) {
        *error = QStringLiteral("名前の列がありません。見出しを「氏名」か「名前」"
                                "（または「姓」と「名」）にしてください");
    }
    return std::nullopt;
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

// A class within its grade as a school names it: 2 and 3 are 2年3組, 2 and
// A 2年A組; a 組 column that names the grade already is taken as it is.
QString inGrade(const QString& grade, const QString& className)
{
    if (grade.isEmpty() || className.isEmpty() || className.contains(QStringLiteral("年"))) {
        return className;
    }
    const bool named =
        className.endsWith(QStringLiteral("組")) || className.endsWith(QStringLiteral("クラス"));
    return grade + (grade.endsWith(QStringLiteral("年")) ? QString() : QStringLiteral("年")) +
           className + (named ? QString() : QStringLiteral("組"));
}

// One row's learner, or why not.
QString take(const Record& r, const Columns& at, Learner* learner)
{
    const auto field = [&r](int column) {
        return column >= 0 && column < r.fields.size() ? r.fields.at(column).trimmed() : QString();
    };
    QString name = field(at.name);
    if (const QString given = field(at.givenName); !given.isEmpty()) {
        // As a Japanese class list writes a whole name.
        name = name.isEmpty() ? given : name + QChar(0x3000) + given;
    }
    *learner = {inGrade(field(at.grade), field(at.className)), 0, name, r.line};
    if (const QString number = field(at.number); !number.isEmpty()) {
        bool ok = false;
        // A number typed in full-width digits is the same number.
        learner->number = number.normalized(QString::NormalizationForm_KC).toInt(&ok);
        if (!ok || learner->number < 1) {
            return QStringLiteral("番号「%1」は1以上の数にしてください").arg(number);
        }
    }
    if (at.className >= 0 && learner->className.isEmpty()) {
        return QStringLiteral("「%1」の組がありません").arg(learner->name);
    }
    QString problem = nameProblem(learner->name);
    return problem.isEmpty() ? nameProblem(learner->className) : problem;
}

// A school's list often has a title above its header row: the header is
// looked for in the first rows, and it and what is above it are taken off.
// An error (in `read`) when a row names columns but not the name's.
std::optional<Columns> takeHeader(QList<Record>* rows, Read* read)
{
    for (qsizetype i = 0; i < std::min<qsizetype>(rows->size(), HeaderSearchRows); ++i) {
        QString error;
        const std::optional<Columns> named = header(rows->at(i).fields, &error);
        if (!error.isEmpty()) {
            read->errors.append(
                QStringLiteral("%1行目: %2").arg(QString::number(rows->at(i).line), error));
            return std::nullopt;
        }
        if (named) {
            read->headerLine = rows->at(i).line;
            rows->remove(0, i + 1);
            return named;
        }
    }
    return std::nullopt;
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
    QList<Record> rows = records(text, csv);
    const std::optional<Columns> named = takeHeader(&rows, &r);
    if (!r.errors.isEmpty()) {
        return r;
    }
    const Columns at = named.value_or(Columns{});
    r.classColumn = at.className >= 0;
    // Where each name and number of a class was seen first.
    QHash<QString, int> names;
    QHash<QString, int> numbers;
    for (const Record& row : std::as_const(rows)) {
        if (row.fields.join(QString()).trimmed().isEmpty()) {
            continue;
        }
        Learner l;
        QString problem = take(row, at, &l);
        if (l.name.isEmpty() && problem.isEmpty()) {
            problem = QStringLiteral("名前がありません");
        }
        const QString nameKey = l.className + QLatin1Char('\n') + l.name;
        const QString numberKey = l.className + QLatin1Char('\n') + QString::number(l.number);
        if (problem.isEmpty() && names.contains(nameKey)) {
            problem = QStringLiteral("「%1」は%2行目と同じ名前です。同じ名前の人は、名前に区別を"
                                     "付けてください")
                          .arg(l.name, QString::number(names.value(nameKey)));
        } else if (problem.isEmpty() && l.number > 0 && numbers.contains(numberKey)) {
            problem =
                QStringLiteral("番号 %1 は%2行目と同じです")
                    .arg(QString::number(l.number), QString::number(numbers.value(numberKey)));
        }
        if (!problem.isEmpty()) {
            r.errors.append(QStringLiteral("%1行目: %2").arg(QString::number(row.line), problem));
            continue;
        }
        names.insert(nameKey, row.line);
        numbers.insert(numberKey, row.line);
        r.learners.append(l);
        r.names.append(l.name);
    }
    if (r.learners.isEmpty() && r.errors.isEmpty()) {
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
