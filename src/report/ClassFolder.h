#pragma once

#include "record/StatementIds.h"
#include "report/ClassReport.h"

#include <QList>
#include <QString>

#include <functional>

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

// The same answers given to `take` one by one, in the same order, as their
// logs are read (none is held once taken); what is left out goes to
// `leftOut`, each id taken to `seen`.
void eachAnswer(const QString& folder, const std::function<void(Answer&&)>& take,
                QList<ClassReport::LeftOut>* leftOut, StatementIdSet* seen);

// The report of answers from a folder's logs or a server's store: old
// problem ids named as the series files of `workDir` name the problems now,
// and each problem checked against those files.
ClassReport::Report report(QList<Answer> answers, QList<ClassReport::LeftOut> leftOut,
                           const QString& workDir);

// Each series of the report by its title in the catalogue of `workDir`.
void nameSeries(ClassReport::Report* report, const QString& workDir);

// The report of the folder's logs.
ClassReport::Report report(const QString& folder);

} // namespace ClassFolder
