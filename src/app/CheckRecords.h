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

// Prints one line per reviewed problem whose text is still there, most
// overdue first: LEARNER, SERIES FILE, HEADING, DUE (the learner's day),
// RECALL, tab-separated; on standard error, how many answers of each
// learner were set aside and why. Only `learner`'s log when one is named.
// Returns false when that learner has no log.
bool printDue(const QString& dir, const QString& learner, qint64 nowMs, const LearnerDays& days);

} // namespace CheckRecords
