#include "record/Schedule.h"

#include <QDateTime>

#include <algorithm>

namespace
{

constexpr qint64 DayMs = 86400000;

} // namespace

Fsrs::Rating Schedule::ratingOf(const Answer& a)
{
    if (a.success) {
        return Fsrs::Rating::Good;
    }
    // A near miss shows the problem mostly remembered: failing it outright
    // would push its difficulty to the top for one slip.
    const qsizetype wrong = a.terms.size() - a.right;
    return wrong * 5 <= a.terms.size() ? Fsrs::Rating::Hard : Fsrs::Rating::Again;
}

Schedule::Use Schedule::use(const Answer& a, qint64 readAtMs, const ScheduledProblem* known) const
{
    // A clock far ahead would hide a problem for as long; one set back would
    // review it again before its real last review.
    if (a.timestampMs > readAtMs + DayMs) {
        return Use::AheadOfReading;
    }
    if (known == nullptr) {
        return Use::Review;
    }
    if (a.timestampMs < known->lastReviewMs) {
        return Use::BeforeLastReview;
    }
    // Retries, the arrows, a marked copy or a second window all show the
    // problem again: only the day's first check says what was remembered.
    const QDate lastReviewDay = LearnerDays::dayOfClock(known->card.lastReviewMs);
    return days_.dayOf(a.timestampMs) > lastReviewDay ? Use::Review : Use::Practice;
}

Schedule::Use Schedule::add(const Answer& a, qint64 readAtMs, Review* review)
{
    const Key key{a.series, a.problemHash};
    auto it = problems_.find(key);
    const Use u = use(a, readAtMs, it == problems_.end() ? nullptr : &*it);
    uses_.append(u);
    beforeLastReview_ += u == Use::BeforeLastReview ? 1 : 0;
    aheadOfReading_ += u == Use::AheadOfReading ? 1 : 0;
    if (u != Use::Review) {
        return u;
    }
    if (it == problems_.end()) {
        it = problems_.insert(
            key, ScheduledProblem{a.problemId(), a.series, a.problemHash, {}, {}, 0, {}});
    }
    it->heading = a.heading;
    const qint64 clock = days_.clockOf(a.timestampMs);
    const Fsrs::Rating rating = ratingOf(a);
    if (review != nullptr) {
        *review = {it->problemId, rating, Fsrs::Scheduler::elapsedDays(it->card, clock), clock};
    }
    it->card = scheduler_.review(it->card, rating, clock);
    it->lastReviewMs = a.timestampMs;
    it->dueDay = LearnerDays::dayOfClock(it->card.lastReviewMs).addDays(it->card.intervalDays);
    return u;
}

void Schedule::restore(const QList<ScheduledProblem>& problems, SetAside counts)
{
    problems_.clear();
    for (const ScheduledProblem& p : problems) {
        problems_.insert({p.series, p.problemHash}, p);
    }
    uses_.clear();
    beforeLastReview_ = counts.beforeLastReview;
    aheadOfReading_ = counts.aheadOfReading;
}

namespace
{

void sortBy(QList<ScheduledProblem>& list, bool dueFirst)
{
    std::sort(list.begin(), list.end(),
              [dueFirst](const ScheduledProblem& x, const ScheduledProblem& y) {
                  if (dueFirst && x.dueDay != y.dueDay) {
                      return x.dueDay < y.dueDay;
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
    const QDate today = days_.dayOf(atMs);
    QList<ScheduledProblem> due;
    for (const ScheduledProblem& p : problems_) {
        if (p.dueDay <= today) {
            due.append(p);
        }
    }
    sortBy(due, true);
    return due;
}

double Schedule::recall(const ScheduledProblem& p, qint64 atMs) const
{
    return scheduler_.recall(p.card, days_.clockOf(atMs));
}

QString Schedule::setAsideNote() const
{
    QStringList why;
    if (beforeLastReview_ > 0) {
        why.append(
            QStringLiteral("その問題の最後の復習より前の日時のもの %1件").arg(beforeLastReview_));
    }
    if (aheadOfReading_ > 0) {
        why.append(
            QStringLiteral("読み込んだ時刻より1日以上先の日時のもの %1件").arg(aheadOfReading_));
    }
    if (why.isEmpty()) {
        return {};
    }
    return QStringLiteral("日時が合わない回答 %1件は、記録に残したまま復習の予定には使っていません"
                          "（%2）。パソコンの時計を確かめて下さい。")
        .arg(QString::number(setAside()), why.join(QStringLiteral("、")));
}
