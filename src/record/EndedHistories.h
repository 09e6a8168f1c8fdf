#pragma once

#include "record/Answer.h"
#include "series/Finding.h"
#include "series/Problem.h"

#include <QList>
#include <QSet>
#include <QString>

class ProblemIndex;

// Problems learners answered that a series file no longer asks: a change of
// a problem's terms, groups or answers starts it anew, and each learner's
// history of it (their review schedule) ends there. velmorant-check warns of
// them, the teacher's series list shows them, and the editor asks before a
// save that makes more of them.
namespace EndedHistories
{

// A problem answered, by its series file and key, with the heading the
// learners saw and who they are.
struct Answered {
    QString series;
    QString key;
    QString heading;
    QSet<QString> learners;
};

// The problems of `answers`, each once, by series file and key, their ids
// named as the folder's files name the problems now (ProblemIndex::update).
QList<Answered> of(QList<Answer> answers, ProblemIndex& index);

// Whether `problems` (a series' usable ones) hold the problem of `key`.
bool holds(const QList<Problem>& problems, const QString& key);

// A warning for each of `answered` that series file `series`, whose usable
// problems are `now`, no longer holds: at the line of the problem now under
// its heading, else at none.
Findings warnings(const QList<Answered>& answered, const QString& series,
                  const QList<Problem>& now);

// The warnings a save of `series` makes anew: of the problems it holds now
// (`before`), those the text saved (`after`) no longer holds.
Findings endedBy(const QList<Answered>& answered, const QString& series,
                 const QList<Problem>& before, const QList<Problem>& after);

} // namespace EndedHistories
