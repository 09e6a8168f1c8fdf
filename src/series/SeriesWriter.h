#pragma once

#include "series/Problem.h"

#include <QList>
#include <QString>
#include <QStringList>

// Writes problems in the series file's own format, as a teacher would type
// them: a question line, the terms after Ａ群 with a one-character mark, the
// groups after Ｂ群 with a two-character mark, the answer letters after 正解
// and the explanation. SeriesParser reads back what it writes.
namespace SeriesWriter
{

// A part of a problem, as the editor's form names its fields.
enum class Field { Heading, Question, Terms, Groups, Answer, Explanation };
const char* fieldName(Field field);
// The field's name as the form shows it.
QString fieldLabel(Field field);

// Why a problem would not read back as it stands, by the field to mend.
struct Fault {
    Field field = Field::Heading;
    QString message;
};
QList<Fault> faults(const Problem& problem);

// The parts of a problem as written: the question line (heading, `blank`,
// question), entries each after its mark, a few to a line (`joiner` between
// them, `indent` before each line after the first, so that the reader never
// joins two entries into one), the answer line and the explanation's lines.
// SeriesSplice writes a changed part of a file with them in the file's own
// spelling.
QString questionLine(const Problem& problem, QChar blank);
QStringList entryLines(const QStringList& entries, const QStringList& marks, int perLine,
                       const QString& joiner, const QString& indent);
// The writer's own marks: ・ for a term, ａ．ｂ．… for a group.
QStringList termMarks(qsizetype count);
QStringList groupMarks(qsizetype count);
constexpr int TermsPerLine = 5;
constexpr int GroupsPerLine = 3;
QString answerLine(const Problem& problem, const QString& heading, QChar separator);
QStringList explanationLines(const QString& explanation);
// The whole problem in the writer's spelling.
QStringList problemLines(const Problem& problem);

// The text of a whole series: the lines before the first problem (its
// title, notes) as they are, then each problem after a blank line. Lines end
// with '\n'; the encoding and the line ends on disk are the saver's.
QString write(const QStringList& preamble, const QList<Problem>& problems);

} // namespace SeriesWriter
