#include "series/SeriesSplice.h"

#include "series/SeriesWriter.h"

#include <algorithm>
#include <functional>

namespace SeriesSplice
{

namespace
{

const QChar Wide(0x3000);
using SeriesParser::isBlank;
using SeriesParser::trimBlanks;

// Lines first..last of `lines`, 1-based and inclusive.
QStringList span(const QStringList& lines, int first, int last)
{
    return lines.mid(first - 1, std::max(0, last - first + 1));
}

// The last line of first..last with something on it; first - 1 when none.
int lastFilled(const QStringList& lines, int first, int last)
{
    for (int n = last; n >= first; --n) {
        if (!trimBlanks(lines.at(n - 1)).isEmpty()) {
            return n;
        }
    }
    return first - 1;
}

QString leadingBlanks(const QString& line)
{
    qsizetype i = 0;
    while (i < line.size() && isBlank(line.at(i))) {
        ++i;
    }
    return line.left(i);
}

// A problem as the form sends it: a group that names none of the groups is
// none, and there is one for each term.
Problem normalized(Problem p)
{
    QList<int> groups;
    for (qsizetype t = 0; t < p.terms.size(); ++t) {
        const int g = p.groupOfTerm.value(t);
        groups.append(g >= 1 && g <= p.groups.size() ? g : 0);
    }
    p.groupOfTerm = groups;
    p.lines = {};
    return p;
}

// The parts of a problem the form changed.
struct Changes {
    bool heading = false;
    bool question = false;
    bool terms = false;
    bool groups = false;
    bool answer = false;
    bool explanation = false;
    bool any() const { return heading || question || terms || groups || answer || explanation; }
};

Changes changes(const Problem& was, const Problem& now)
{
    return {was.heading != now.heading,
            trimBlanks(was.question) != trimBlanks(now.question),
            was.terms != now.terms,
            was.groups != now.groups,
            was.groupOfTerm != now.groupOfTerm,
            was.explanation != now.explanation};
}

// How a file writes a list: the marks it gives its entries in order, how
// many entries stand on its first line, the blanks between two entries,
// before the first line and before each line after it.
struct ListStyle {
    QStringList marks;
    int perLine = 0;
    QString joiner = Wide;
    QString indent = Wide;
    QString firstIndent;
};

ListStyle styleOf(const QStringList& lines, int prefix, int perLine)
{
    ListStyle style;
    int filled = 0;
    int first = 0; // entries on the first line
    for (const QString& line : lines) {
        if (trimBlanks(line).isEmpty()) {
            continue;
        }
        const QString lead = leadingBlanks(line);
        if (filled == 0) {
            style.firstIndent = lead;
        } else if (filled == 1 && !lead.isEmpty()) {
            style.indent = lead;
        }
        int chunks = 0;
        for (qsizetype i = lead.size(); i < line.size();) {
            const qsizetype start = i;
            while (i < line.size() && !isBlank(line.at(i))) {
                ++i;
            }
            if (i - start > prefix) {
                style.marks.append(line.mid(start, prefix));
            }
            const qsizetype gap = i;
            while (i < line.size() && isBlank(line.at(i))) {
                ++i;
            }
            if (filled == 0 && ++chunks == 1 && i < line.size()) {
                style.joiner = line.mid(gap, i - gap);
            }
        }
        first = filled == 0 ? chunks : first;
        ++filled;
    }
    // A list on one line stays on one line while the writer's count allows.
    style.perLine = filled > 1 ? std::max(first, 1) : std::max(first, perLine);
    return style;
}

// A mark the reader drops whole: `prefix` characters, no blank, comma or
// half of a pair.
bool fitMark(const QString& mark, int prefix)
{
    return mark.size() == prefix && std::none_of(mark.begin(), mark.end(), [](QChar c) {
               return isBlank(c) || c == u',' || c.isSurrogate() || !c.isPrint();
           });
}

// The mark of entry `k` past the marks known: the next of a run (①②③,
// ア．イ．) else the last one again.
QString nextMark(const QStringList& known, qsizetype k)
{
    if (known.size() >= 2) {
        const int step = known.at(1).front().unicode() - known.at(0).front().unicode();
        bool steady = step != 0;
        for (qsizetype i = 1; i < known.size(); ++i) {
            steady = steady &&
                     known.at(i).front().unicode() - known.at(i - 1).front().unicode() == step &&
                     known.at(i).mid(1) == known.at(0).mid(1);
        }
        const qsizetype code = known.last().front().unicode() + step * (k - known.size() + 1);
        if (steady && code > 0x20 && code <= 0xFFFF && (code < 0xD800 || code > 0xDFFF)) {
            return QChar(static_cast<char16_t>(code)) + known.at(0).mid(1);
        }
    }
    return known.isEmpty() ? QString() : known.last();
}

// `old`'s lines with each entry written over in place, when they hold as
// many entries as there are, one to each blank-parted chunk of a line.
std::optional<QStringList> inPlace(const QStringList& old, const QStringList& entries, int prefix)
{
    QStringList out;
    qsizetype k = 0;
    for (const QString& line : old) {
        QString now;
        for (qsizetype i = 0; i < line.size();) {
            const qsizetype blanks = i;
            while (i < line.size() && isBlank(line.at(i))) {
                ++i;
            }
            now += line.mid(blanks, i - blanks);
            const qsizetype chunk = i;
            while (i < line.size() && !isBlank(line.at(i))) {
                ++i;
            }
            if (i == chunk) {
                continue;
            }
            if (i - chunk <= prefix || line.mid(chunk, i - chunk).contains(u',') ||
                k == entries.size()) {
                return std::nullopt;
            }
            now += line.mid(chunk, prefix) + entries.at(k++);
        }
        out.append(now);
    }
    return k == entries.size() ? std::optional(out) : std::nullopt;
}

// `entries` in the lines after a list's heading: in place of the entries of
// `old` when `keepLines` and they are as many, else in the style of `old`.
QStringList listLines(const QStringList& old, const QStringList& entries, int prefix, int perLine,
                      const QStringList& defaultMarks, bool keepLines)
{
    if (const std::optional<QStringList> kept = inPlace(old, entries, prefix); keepLines && kept) {
        return *kept;
    }
    const ListStyle style = styleOf(old, prefix, perLine);
    QStringList marks;
    for (qsizetype k = 0; k < entries.size(); ++k) {
        const QString mark = k < style.marks.size() ? style.marks.at(k) : nextMark(style.marks, k);
        marks.append(fitMark(mark, prefix) ? mark : defaultMarks.at(k));
    }
    QStringList lines =
        SeriesWriter::entryLines(entries, marks, style.perLine, style.joiner, style.indent);
    if (!lines.isEmpty()) {
        lines.first().prepend(style.firstIndent);
    }
    return lines;
}

// The question's lines: a new heading alone changes the heading on its
// line; a new question is one line, after the blank the heading had.
QStringList questionLines(const QStringList& old, const Problem& was, const Problem& now,
                          bool questionChanged)
{
    const QString lead = leadingBlanks(old.first());
    const QString rest = old.first().mid(lead.size());
    const bool headed = rest.startsWith(was.heading);
    if (!questionChanged && headed) {
        QStringList out = old;
        out.first() = lead + now.heading + rest.mid(was.heading.size());
        return out;
    }
    const qsizetype after = was.heading.size();
    const QChar blank =
        headed && rest.size() > after && isBlank(rest.at(after)) ? rest.at(after) : Wide;
    return {lead + SeriesWriter::questionLine(now, blank)};
}

// The answer line with the heading word, indent and separator it had.
QString answerLineLike(const QString& old, const Problem& now)
{
    const QString lead = leadingBlanks(old);
    const QString rest = old.mid(lead.size());
    const QChar was = rest.size() > 3 ? rest.at(3) : QChar();
    const QChar separator = was.isNull() || isBlank(was) || was.isSurrogate() ? QChar(u',') : was;
    return lead + SeriesWriter::answerLine(now, rest.left(2), separator);
}

// The explanation's lines: the lines (the 解説 line too) it begins and
// ends with as they were, the text changed between them on a line of its
// own; written anew when it gains or loses its 解説 line. Text only added
// after a line goes on that line, as typed: a teacher who paused while
// writing a sentence does not find it broken there.
QStringList explanationLike(const QStringList& old, const QString& now)
{
    const bool headed = SeriesParser::beginsWith(old.first(), u"解説");
    if (now.isEmpty() || headed != now.startsWith(Wide)) {
        return SeriesWriter::explanationLines(now);
    }
    const QStringList lines = headed ? old.mid(1) : old;
    const QString text = headed ? now.mid(1) : now;
    qsizetype from = 0;
    qsizetype to = text.size();
    qsizetype first = 0;
    auto last = lines.size();
    // The reader joins the lines' texts, each with its blanks trimmed.
    for (; first < last && text.mid(from).startsWith(trimBlanks(lines.at(first))); ++first) {
        from += trimBlanks(lines.at(first)).size();
    }
    for (; last > first &&
           QStringView(text).left(to).mid(from).endsWith(trimBlanks(lines.at(last - 1)));
         --last) {
        to -= trimBlanks(lines.at(last - 1)).size();
    }
    QStringList out = headed ? QStringList{old.first()} : QStringList();
    out += lines.mid(0, first);
    const QString added = text.mid(from, to - from);
    if (!added.isEmpty() && first == last && first > 0) {
        // The reader trims each line's blanks: the line's own trailing
        // blanks would come inside the text.
        QString& line = out.last();
        while (!line.isEmpty() && isBlank(line.back())) {
            line.chop(1);
        }
        line += added;
    } else if (!added.isEmpty()) {
        out.append(added);
    }
    return out + lines.mid(last);
}

// Lines heading..last of `base` with each part the form changed written
// anew and the lines around it as they were.
QStringList spliced(const QStringList& base, const SeriesParser::Draft& d, int last,
                    const Problem& now, const Changes& c, bool keepLines)
{
    const SourceLines& at = d.problem.lines;
    const Problem was = formOf(d);
    QStringList out;
    // Lines first..next-1; when changed, its lines up to the last filled one
    // written by `write`.
    const auto part = [&](int first, int next, bool changed,
                          const std::function<QStringList(const QStringList&)>& write) {
        if (!changed) {
            out += span(base, first, next - 1);
            return;
        }
        const int filled = lastFilled(base, first, next - 1);
        out += write(span(base, first, filled));
        out += span(base, filled + 1, next - 1);
    };
    part(at.heading, at.terms, c.heading || c.question,
         [&](const QStringList& old) { return questionLines(old, was, now, c.question); });
    part(at.terms, at.groups, c.terms, [&](const QStringList& old) {
        return QStringList{old.first()} +
               listLines(old.mid(1), now.terms, 1, SeriesWriter::TermsPerLine,
                         SeriesWriter::termMarks(now.terms.size()), keepLines);
    });
    part(at.groups, at.answer, c.groups, [&](const QStringList& old) {
        return QStringList{old.first()} +
               listLines(old.mid(1), now.groups, 2, SeriesWriter::GroupsPerLine,
                         SeriesWriter::groupMarks(now.groups.size()), keepLines);
    });
    part(at.answer, at.answer + 1, c.answer,
         [&](const QStringList& old) { return QStringList{answerLineLike(old.first(), now)}; });
    if (at.explanation > 0) {
        out += span(base, at.answer + 1, at.explanation - 1); // notes before 解説
        part(at.explanation, last + 1, c.explanation,
             [&](const QStringList& old) { return explanationLike(old, now.explanation); });
    } else if (c.explanation) {
        out += SeriesWriter::explanationLines(now.explanation);
    }
    return out;
}

bool readsAs(const QStringList& lines, const Problem& now)
{
    const SeriesParser::Result back = SeriesParser::parse(lines);
    return back.problems.size() == 1 && back.orphanQuestionLines.isEmpty() &&
           !changes(formOf(back.problems.first()), now).any();
}

// Problem `d`'s lines (heading..last) as `now` has it: as they were when
// unchanged; else spliced, a list's entries written over in place where
// that reads back as `now`, or its lines made anew; else written whole.
QStringList contentOf(const QStringList& base, const SeriesParser::Draft& d, int last,
                      const Problem& now)
{
    const Changes c = changes(formOf(d), now);
    if (!c.any()) {
        return span(base, d.problem.lines.heading, last);
    }
    if (d.hasTerms && d.hasGroups && d.hasAnswer && !d.cutShort) {
        for (const bool keepLines : {true, false}) {
            QStringList out = spliced(base, d, last, now, c, keepLines);
            if (readsAs(out, now)) {
                return out;
            }
        }
    }
    return SeriesWriter::problemLines(now);
}

} // namespace

Problem formOf(const SeriesParser::Draft& d)
{
    Problem p = d.problem;
    if (!p.question.isEmpty() && isBlank(p.question.front())) {
        p.question.remove(0, 1);
    }
    p.groupOfTerm.clear();
    for (qsizetype t = 0; t < p.terms.size(); ++t) {
        const qsizetype at = 2 * (t + 1);
        const QChar letter = at < d.answerLine.size() ? d.answerLine.at(at) : QChar();
        const int group = d.problem.groupOfTerm.value(t);
        const bool named = letter >= QLatin1Char('a') && letter <= QLatin1Char('f') && group >= 1 &&
                           group <= p.groups.size();
        p.groupOfTerm.append(named ? group : 0);
    }
    p.lines = {};
    return p;
}

Place placeOf(const SeriesParser::Result& read, int line)
{
    using Field = SeriesWriter::Field;
    for (qsizetype i = 0; i < read.problems.size(); ++i) {
        const SourceLines& at = read.problems.at(i).problem.lines;
        if (line < at.heading || line > at.end) {
            continue;
        }
        Field field = line == at.heading ? Field::Heading : Field::Question;
        if (at.explanation > 0 && line >= at.explanation) {
            field = Field::Explanation;
        } else if (at.answer > 0 && line >= at.answer) {
            field = line == at.answer ? Field::Answer : Field::Explanation;
        } else if (at.groups > 0 && line >= at.groups) {
            field = Field::Groups;
        } else if (at.terms > 0 && line >= at.terms) {
            field = Field::Terms;
        }
        return {static_cast<int>(i), field};
    }
    return {};
}

std::optional<QString> write(const QStringList& base, const QList<Edited>& problems)
{
    const QList<SeriesParser::Draft> drafts = SeriesParser::parse(base).problems;
    const auto n = static_cast<int>(drafts.size());
    if (std::any_of(problems.begin(), problems.end(),
                    [n](const Edited& e) { return e.kept && (e.source < 0 || e.source >= n); })) {
        return std::nullopt;
    }
    if (drafts.isEmpty()) {
        QStringList before = base;
        while (!before.isEmpty() && trimBlanks(before.last()).isEmpty()) {
            before.removeLast();
        }
        QList<Problem> all;
        for (const Edited& e : problems) {
            all.append(e.problem);
        }
        return SeriesWriter::write(before, all);
    }
    // Each problem's lines up to its last filled one, and the blank lines
    // (or lines of no problem) after it: those stay at their place.
    QList<int> last;
    QList<QStringList> tails;
    for (int i = 0; i < n; ++i) {
        const int next =
            i + 1 < n ? drafts.at(i + 1).problem.lines.heading : static_cast<int>(base.size()) + 1;
        last.append(lastFilled(base, drafts.at(i).problem.lines.heading, next - 1));
        tails.append(span(base, last.last() + 1, next - 1));
    }
    QStringList out = span(base, 1, drafts.first().problem.lines.heading - 1);
    for (qsizetype k = 0; k < problems.size(); ++k) {
        const Edited& e = problems.at(k);
        if (e.kept) {
            out += span(base, drafts.at(e.source).problem.lines.heading, last.at(e.source));
        } else if (e.source >= 0 && e.source < n) {
            out += contentOf(base, drafts.at(e.source), last.at(e.source), normalized(e.problem));
        } else {
            out += SeriesWriter::problemLines(e.problem);
        }
        if (k == problems.size() - 1) {
            out += tails.last();
        } else {
            out += k < n - 1 ? tails.at(k) : QStringList{QString()};
        }
    }
    if (problems.isEmpty()) {
        out += tails.last();
    }
    return out.join(QLatin1Char('\n'));
}

} // namespace SeriesSplice
