#pragma once

#include "record/Answer.h"
#include "record/Fsrs.h"

#include <QList>
#include <QString>

struct ScheduledProblem {
    QString problemId, series, problemHash, heading;
    Fsrs::Card card;
    qint64 dueMs = 0;
};

class Schedule
{
public:
    void
    add(const Answer& a); // only reviews (attempt 1) move the card: right -> Good, wrong -> Again
    QList<ScheduledProblem> problems() const;         // every reviewed problem
    QList<ScheduledProblem> dueBy(qint64 atMs) const; // dueMs <= atMs, most overdue first
};
