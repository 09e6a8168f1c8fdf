#include "series/SeriesWriter.h"

#include "series/SeriesParser.h"

namespace SeriesWriter
{

namespace
{

const QChar Wide(0x3000);
// Terms and groups on a line; the lines after the first begin with a blank,
// so that the reader never joins two entries into one.
constexpr int TermsPerLine = 5;
constexpr int GroupsPerLine = 3;
constexpr qsizetype MaxHeading = 9;

QString questionLine(const Problem& p)
{
    if (p.question.isEmpty() || SeriesParser::isBlank(p.question.front())) {
        return p.fullQuestion();
    }
    return p.heading + Wide + p.question;
}

// Entries with their marks, a few to a line.
QStringList entryLines(const QStringList& marked, int perLine)
{
    QStringList lines;
    for (qsizetype i = 0; i < marked.size(); i += perLine) {
        const QString joined = marked.mid(i, perLine).join(Wide);
        lines.append(i == 0 ? joined : Wide + joined);
    }
    return lines;
}

QStringList problemLines(const Problem& p)
{
    QStringList out{questionLine(p), QStringLiteral("Ａ群")};
    QStringList marked;
    for (const QString& term : p.terms) {
        marked.append(QStringLiteral("・") + term);
    }
    out += entryLines(marked, TermsPerLine);
    out.append(QStringLiteral("Ｂ群"));
    marked.clear();
    for (qsizetype g = 0; g < p.groups.size(); ++g) {
        // ａ．, ｂ．, ...: the two-character mark the reader drops.
        marked.append(QChar(0xFF41 + static_cast<int>(g)) + QStringLiteral("．") + p.groups.at(g));
    }
    out += entryLines(marked, GroupsPerLine);
    QString answer = QStringLiteral("正解");
    for (qsizetype t = 0; t < p.terms.size(); ++t) {
        const int group = p.groupOfTerm.value(t);
        // A term without its group gets a sign the reader refuses, never a
        // letter that would put it into a group by chance.
        answer += (group >= 1 && group <= 6 ? QChar(u'a' + group - 1) : QLatin1Char('?'));
        answer += QLatin1Char(',');
    }
    out.append(answer);
    if (p.explanation.startsWith(Wide)) {
        // The heading line indents the explanation by one wide blank.
        out.append(QStringLiteral("解説"));
        if (p.explanation.size() > 1) {
            out.append(p.explanation.mid(1));
        }
    } else if (!p.explanation.isEmpty()) {
        out.append(p.explanation);
    }
    return out;
}

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
