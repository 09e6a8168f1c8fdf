#pragma once

#include "record/Answer.h"
#include "record/ClassParameters.h"
#include "record/FitReport.h"
#include "record/ProblemIndex.h"
#include "record/Schedule.h"
#include "server/store/Store.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// A server's class scheduled with its own review parameters: the fit of
// its learners' answers (velmorant-check --fit --class and the teacher's
// 復習の調整 alike), and each learner's kept review state made again with
// the class's parameters whenever they change.
namespace ClassSchedules
{

// The parameters a kept row gives: the defaults, and why, when it holds
// none or none that can be used.
ClassParameters::Kept parametersOf(const Store::KeptParameters& row);

// A learner's statements as the schedule takes them in with `parameters`,
// problems named as the folder names them now; the answers read go to
// `answers` when given.
Schedule scheduleOf(const QList<QByteArray>& lines, ProblemIndex& problems, const LearnerDays& days,
                    const Fsrs::Parameters& parameters, qint64 nowMs,
                    QList<Answer>* answers = nullptr);

// What a fit (or a new retention) did.
struct Result {
    FitReport::Outcome outcome;
    QJsonObject report; // as --fit --json gives it
    QString told;       // what to tell the teacher, in Japanese
    bool kept = false;  // whether the class's parameters were written
    QString failure;    // "" or why the store could not be read or written
};
// With `fit`, fits the class's learners' reviews (fewer than the fit's
// minimum keep the defaults, even over an earlier fit); without, measures
// the class's parameters as kept. `retention` (checked by the caller) sets
// the recall the intervals aim at. What changed is kept with every learner's
// review state made again, in one transaction.
Result fit(Store& store, const QString& workDir, qint64 classId, std::optional<double> retention,
           bool fit);

} // namespace ClassSchedules
