#include "record/Schedule.h"

#include <algorithm>

void Schedule::add(const Answer& a)
{
    // Later checks of the same showing are practice: the learner has just
    // seen which terms were wrong, so they say nothing about memory.
    if (!a.isReview()) {
        return;
    }
    const QString id = a.problemId();
    auto it = problems_.find(id);
    if (it == problems_.end()) {
        it = problems_.insert(id, ScheduledProblem{id, a.series, a.problemHash, {}, {}, 0});
    }
    it->heading = a.heading;
    it->card = scheduler_.review(it->card, a.success ? Fsrs::Rating::Good : Fsrs::Rating::Again,
                                 a.timestampMs);
    it->dueMs = Fsrs::Scheduler::dueMs(it->card);
}

namespace
{

void sortBy(QList<ScheduledProblem>& list, bool dueFirst)
{
    std::sort(list.begin(), list.end(),
              [dueFirst](const ScheduledProblem& x, const ScheduledProblem& y) {
                  if (dueFirst && x.dueMs != y.dueMs) {
                      return x.dueMs < y.dueMs;
                  }
                  return x.problemId < y.problemId;
              });
}

} // namespace

QList<ScheduledProblem> Schedule::problems() const
{
    QList<ScheduledProblem> all = problems_.values();
    sortBy(all, false);
    return all;
}

QList<ScheduledProblem> Schedule::dueBy(qint64 atMs) const
{
    QList<ScheduledProblem> due;
    for (const ScheduledProblem& p : problems_) {
        if (p.dueMs <= atMs) {
            due.append(p);
        }
    }
    sortBy(due, true);
    return due;
}
