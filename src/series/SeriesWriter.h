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

// Why a problem would not read back as it stands, by the field to mend.
struct Fault {
    Field field = Field::Heading;
    QString message;
};
QList<Fault> faults(const Problem& problem);

// The text of a whole series: the lines before the first problem (its
// title, notes) as they are, then each problem after a blank line. Lines end
// with '\n'; the encoding and the line ends on disk are the saver's.
QString write(const QStringList& preamble, const QList<Problem>& problems);

} // namespace SeriesWriter
