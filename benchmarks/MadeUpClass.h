#pragma once

#include "record/Answer.h"

#include <QString>
#include <QStringList>

#include <functional>

// A made-up class on one work folder: the sample series and, for each
// learner, a log of answers to their problems, `perDay` checks a day for
// `days` days; a learner gets better with every try. The same folder from
// the same numbers every time.
namespace MadeUpClass
{

// Each learner's checks in turn, in time order, after the sample series
// are copied into `folder`: `take` gets the learner's index and the check,
// and returns "" or why to stop. Returns "" or why it stopped.
QString eachCheck(const QString& folder, const QStringList& learners, int perDay, int days,
                  const std::function<QString(qsizetype, const Answer&)>& take);

// The class of learners 生徒01, 生徒02... with a log file each under
// `folder`/records. Returns "" or why the folder could not be written.
QString write(const QString& folder, int learners, int perDay, int days);

} // namespace MadeUpClass
