#pragma once

#include "server/LearnerScreen.h"

#include <QList>
#include <QString>

class Store;

// A learner's answer record in the store: one xAPI statement per answer
// check, and the problems due for review by the desktop's FSRS schedule.
namespace LearnerRecord
{

// Appends the statement of a check; "" or the Japanese reason it failed.
QString append(Store& store, const QString& learner, const LearnerScreen::Checked& checked);

// The problems due by `nowMs` whose text the folder still holds, most
// overdue first, at most 50.
QList<LearnerScreen::SourcedProblem> due(Store& store, const QString& learner,
                                         const QString& workDir, qint64 nowMs);

} // namespace LearnerRecord
