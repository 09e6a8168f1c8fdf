#pragma once
#include "record/Answer.h"
#include "record/Fsrs.h"
#include <QHash>
struct ScheduledProblem { QString problemId, series, problemHash, heading; Fsrs::Card card; qint64 dueMs = 0; };
class Schedule {
public:
    void add(const Answer& a);
    QList<ScheduledProblem> problems() const;
    QList<ScheduledProblem> dueBy(qint64 atMs) const;
private:
    QHash<QString, ScheduledProblem> problems_;
};
