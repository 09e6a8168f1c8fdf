#pragma once

#include "record/LearnerDays.h"

#include <QString>

#include <functional>

// The learners' answer logs of a work folder, read as the program reads them.
namespace CheckRecords
{

// Prints what the program could not use of each log in records/; returns
// the number of errors.
int check(const QString& dir, const std::function<QString(const QString&)>& shownAs);

// Warns, at its series file, of each problem answered in the folder's logs
// or store whose terms, groups or answers are no longer in the file: the
// problem starts anew, and the warning says how many learners' histories
// it ends.
void warnEndedHistories(const QString& dir, const std::function<QString(const QString&)>& shownAs);

// Prints one line per reviewed problem whose text is still there, most
// overdue first: LEARNER, SERIES FILE, HEADING, DUE (the learner's day),
// RECALL, tab-separated, from the folder's logs and store (ClassAnswers); on
// standard error, how many answers of each learner were set aside and why.
// Only `learner`'s when one is named. Returns "" or why not, in Japanese.
QString printDue(const QString& dir, const QString& database, const QString& learner, qint64 nowMs,
                 const LearnerDays& days);

} // namespace CheckRecords
