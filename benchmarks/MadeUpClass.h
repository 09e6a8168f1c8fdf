#pragma once

#include "record/Answer.h"
#include "record/Fsrs.h"

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

// The sample series (code page 932) over and over, cut to `problems`
// problems: repeats of one problem are told apart by their keys.
QByteArray seriesOf(int problems);

// The class of learners 生徒01, 生徒02... with a log file each under
// `folder`/records. Returns "" or why the folder could not be written.
QString write(const QString& folder, int learners, int perDay, int days);

// A class whose learners remember as FSRS-6 with parameters `truth` says.
// Each school day a learner answers what the program lists as today's
// review, then begins new problems. A problem is recalled with the
// probability `truth` predicts after the learner's days since its last
// review (a first showing with `firstRecall`): recalled, it is answered all
// right, or now and then with one term in five wrong (Hard); forgotten,
// with most terms wrong (Again) and at once again, right (practice).
struct Remembering {
    Fsrs::Weights truth = Fsrs::DefaultWeights;
    int learners = 20;
    int days = 120;
    int newPerDay = 4;
    double firstRecall = 0.6;
    quint64 seed = 1;
};

// Writes the class into `folder` (a series of 200 problems, Many.TXT, and a
// log a learner, 生徒01...) and into `reviews` each review as the schedule
// takes it in, in time order: [problem of a learner (numbered from 0),
// rating, the learner's days since that problem's last review]. Returns ""
// or why not.
QString writeRemembering(const QString& folder, const Remembering& r, QList<QList<int>>* reviews);

} // namespace MadeUpClass
