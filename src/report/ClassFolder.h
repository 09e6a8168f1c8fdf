#pragma once

#include "report/ClassReport.h"

#include <QList>
#include <QString>

class ProblemIndex;

// The answers of a class sharing one work folder: every learner's log in
// records/, read with the log's own reader.
namespace ClassFolder
{

struct Read {
    QList<Answer> answers;               // file by file, in file order
    QList<ClassReport::LeftOut> leftOut; // what was not used, and why
};

// A line that is no statement, a last line cut short, a statement read
// before (the same id, as when a log was copied): left out and told.
Read read(const QString& folder);

// Where a problem is in the folder's series files, for ClassReport::of.
ClassReport::TextCheck seriesText(ProblemIndex& index);

// The report of the folder, its problems checked against the folder's
// series files.
ClassReport::Report report(const QString& folder);

} // namespace ClassFolder
