#pragma once

#include "record/Answer.h"
#include "record/Fsrs.h"

#include <QHash>
#include <QList>
#include <QString>

struct ScheduledProblem {
    QString problemId, series, problemHash, heading;
    Fsrs::Card card;
    qint64 dueMs = 0;
};

// Each problem's review state, rebuilt from the answers in the learning record.
class Schedule
{
public:
    // Answers in file order; only reviews (attempt 1) move the card: right -> Good, wrong -> Again.
    void add(const Answer& a);
    // Every reviewed problem, by problemId.
    QList<ScheduledProblem> problems() const;
    // dueMs <= atMs, most overdue first (then by problemId).
    QList<ScheduledProblem> dueBy(qint64 atMs) const;

private:
    Fsrs::Scheduler scheduler_;
    QHash<QString, ScheduledProblem> problems_;
};
