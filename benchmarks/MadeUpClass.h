#pragma once

#include <QString>

// A made-up class on one work folder: the sample series and, for each
// learner, a log of answers to their problems, `perDay` checks a day for
// `days` days; a learner gets better with every try. The same folder from
// the same numbers every time.
namespace MadeUpClass
{

// Returns "" or why the folder could not be written.
QString write(const QString& folder, int learners, int perDay, int days);

} // namespace MadeUpClass
