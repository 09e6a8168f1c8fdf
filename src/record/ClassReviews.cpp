#include "record/ClassReviews.h"

void ClassReviews::add(const Answer& a)
{
    auto learner = learnerIndex_.constFind(a.learner);
    if (learner == learnerIndex_.cend()) {
        learner = learnerIndex_.insert(a.learner, int(learners_.size()));
        learners_.append(a.learner);
        schedules_.append(Schedule(days_));
    }
    Schedule::Review review;
    if (schedules_[*learner].add(a, readAtMs_, &review) != Schedule::Use::Review) {
        return;
    }
    const std::pair<int, QString> key{*learner, review.problemId};
    auto card = cardIndex_.constFind(key);
    if (card == cardIndex_.cend()) {
        card = cardIndex_.insert(key, int(cards_.size()));
        cards_.append({*learner, a.series, a.problemHash, {}});
    }
    cards_[*card].steps.append({review.clockMs, review.elapsedDays, int(review.rating)});
}

qsizetype ClassReviews::predictedReviews() const
{
    qsizetype n = 0;
    for (const ReviewCard& c : cards_) {
        n += c.steps.size() - 1;
    }
    return n;
}
