#include "series/SeriesWriter.h"

#include "series/SeriesParser.h"

#include <algorithm>

namespace SeriesWriter
{

namespace
{

const QChar Wide(0x3000);
constexpr qsizetype MaxHeading = 9;

bool hasBlankOrComma(const QString& text)
{
    for (const QChar c : text) {
        if (SeriesParser::isBlank(c) || c == QLatin1Char(',')) {
            return true;
        }
    }
    return false;
}

void entryFaults(const QStringList& entries, Field field, const QString& what, QList<Fault>* out)
{
    for (const QString& entry : entries) {
        if (entry.isEmpty()) {
            out->append({field, QStringLiteral("空の%1があります").arg(what)});
        } else if (hasBlankOrComma(entry)) {
            out->append({field, QStringLiteral("%1「%2」に空白か「,」があります。%1の中には"
                                               "書けません")
                                    .arg(what, entry)});
        }
    }
}

// What reading the problem back changes, by field: a line of the text that
// begins with a heading word is read as that heading.
void readBackFaults(const Problem& p, QList<Fault>* out)
{
    const SeriesParser::Result read =
        SeriesParser::parse(problemLines(p).join(QLatin1Char('\n')).split(QLatin1Char('\n')));
    const QString moved = QStringLiteral("この欄の文の始めの語が見出し語（問題・設問・Ａ群・Ｂ群・"
                                         "正解・解説など）として読まれ、別の部分になります。"
                                         "言いかえてください");
    if (read.problems.size() != 1) {
        out->append({Field::Explanation, moved});
        return;
    }
    const Problem& back = read.problems.first().problem;
    if (back.heading != p.heading || back.question.trimmed() != p.question.trimmed()) {
        out->append({Field::Question, moved});
    }
    // A second 正解 or 解説 line is read, but only with a warning.
    if (back.explanation != p.explanation || !read.warnings.isEmpty()) {
        out->append({Field::Explanation, moved});
    }
}

} // namespace

QString questionLine(const Problem& p, QChar blank)
{
    if (p.question.isEmpty() || SeriesParser::isBlank(p.question.front())) {
        return p.fullQuestion();
    }
    return p.heading + blank + p.question;
}

QStringList entryLines(const QStringList& entries, const QStringList& marks, int perLine,
                       const QString& joiner, const QString& indent)
{
    QStringList lines;
    perLine = std::max(perLine, 1);
    for (qsizetype i = 0; i < entries.size(); i += perLine) {
        QStringList marked;
        for (qsizetype k = i; k < std::min(i + perLine, entries.size()); ++k) {
            marked.append(marks.value(k) + entries.at(k));
        }
        lines.append(i == 0 ? marked.join(joiner) : indent + marked.join(joiner));
    }
    return lines;
}

QStringList termMarks(qsizetype count)
{
    return QStringList(count, QStringLiteral("・"));
}

QStringList groupMarks(qsizetype count)
{
    QStringList marks;
    for (qsizetype g = 0; g < count; ++g) {
        // ａ．, ｂ．, ...: the two-character mark the reader drops.
        marks.append(QChar(0xFF41 + static_cast<int>(g)) + QStringLiteral("．"));
    }
    return marks;
}

QString answerLine(const Problem& p, const QString& heading, QChar separator)
{
    QString answer = heading;
    for (qsizetype t = 0; t < p.terms.size(); ++t) {
        const int group = p.groupOfTerm.value(t);
        // A term without its group gets a sign the reader refuses, never a
        // letter that would put it into a group by chance.
        answer += (group >= 1 && group <= 6 ? QChar(u'a' + group - 1) : QLatin1Char('?'));
        answer += separator;
    }
    return answer;
}

QStringList explanationLines(const QString& explanation)
{
    if (explanation.startsWith(Wide)) {
        // The heading line indents the explanation by one wide blank.
        QStringList out{QStringLiteral("解説")};
        if (explanation.size() > 1) {
            out.append(explanation.mid(1));
        }
        return out;
    }
    return explanation.isEmpty() ? QStringList() : QStringList{explanation};
}

QStringList problemLines(const Problem& p)
{
    QStringList out{questionLine(p, Wide), QStringLiteral("Ａ群")};
    out += entryLines(p.terms, termMarks(p.terms.size()), TermsPerLine, Wide, Wide);
    out.append(QStringLiteral("Ｂ群"));
    out += entryLines(p.groups, groupMarks(p.groups.size()), GroupsPerLine, Wide, Wide);
    out.append(answerLine(p, QStringLiteral("正解"), QLatin1Char(',')));
    out += explanationLines(p.explanation);
    return out;
}

const char* fieldName(Field field)
{
    switch (field) {
    case Field::Heading:
        return "heading";
    case Field::Question:
        return "question";
    case Field::Terms:
        return "terms";
    case Field::Groups:
        return "groups";
    case Field::Answer:
        return "answer";
    case Field::Explanation:
        return "explanation";
    }
    return "heading";
}

QString fieldLabel(Field field)
{
    switch (field) {
    case Field::Heading:
        return QStringLiteral("見出し");
    case Field::Question:
        return QStringLiteral("問題文");
    case Field::Terms:
        return QStringLiteral("項目");
    case Field::Groups:
        return QStringLiteral("分類群");
    case Field::Answer:
        return QStringLiteral("正解");
    case Field::Explanation:
        return QStringLiteral("解説");
    }
    return QStringLiteral("見出し");
}

QList<Fault> faults(const Problem& p)
{
    QList<Fault> out;
    if (!SeriesParser::beginsWith(p.heading, u"問題") &&
        !SeriesParser::beginsWith(p.heading, u"設問")) {
        out.append({Field::Heading, QStringLiteral("見出しは「問題」か「設問」で始めてください")});
    } else if (hasBlankOrComma(p.heading) || p.heading.size() > MaxHeading) {
        out.append(
            {Field::Heading,
             QStringLiteral("見出しは空白を入れずに%1文字までで書いてください").arg(MaxHeading)});
    }
    entryFaults(p.terms, Field::Terms, QStringLiteral("項目"), &out);
    entryFaults(p.groups, Field::Groups, QStringLiteral("分類群"), &out);
    for (qsizetype t = 0; t < p.terms.size(); ++t) {
        const int group = p.groupOfTerm.value(t);
        if (group < 1 || group > p.groups.size()) {
            out.append({Field::Answer,
                        QStringLiteral("項目「%1」の分類群を選んでください").arg(p.terms.at(t))});
        }
    }
    if (out.isEmpty()) {
        readBackFaults(p, &out);
    }
    return out;
}

QString write(const QStringList& preamble, const QList<Problem>& problems)
{
    QStringList lines = preamble;
    for (const Problem& p : problems) {
        if (!lines.isEmpty() && !lines.last().isEmpty()) {
            lines.append(QString());
        }
        lines += problemLines(p);
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace SeriesWriter
