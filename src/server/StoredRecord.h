#pragma once

#include "server/LearnerScreen.h"

#include <QList>
#include <QString>

class Store;

// A learner's answer record in the store: one xAPI statement per answer
// check, and the problems due for review by the desktop's FSRS schedule.
namespace StoredRecord
{

// Appends the statement of a check, the problem named by its key in the
// folder's series and the learner by the account of `homePage`; "" or the
// Japanese reason it failed.
QString append(Store& store, ProblemIndex& problems, const QString& homePage,
               const QString& learner, const LearnerScreen::Checked& checked);

// The problems due by `nowMs` whose text the folder's series or the
// learner's marks still hold, most overdue first, as many as the desktop's
// review takes.
QList<ReviewProblem> due(Store& store, const QString& learner, ProblemIndex& problems, qint64 nowMs);

} // namespace StoredRecord
