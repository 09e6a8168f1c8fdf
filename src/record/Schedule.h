#pragma once

#include "record/Answer.h"
#include "record/Fsrs.h"
#include "record/LearnerDays.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

struct ScheduledProblem {
    QString problemId, series, problemHash, heading;
    Fsrs::Card card;         // its times on the learner's clock (LearnerDays::clockOf)
    qint64 lastReviewMs = 0; // when it was last reviewed, UTC
    QDate dueDay;            // the learner's day its interval ends on
};

// Each problem's review state, rebuilt from the answers in the learning record.
class Schedule
{
public:
    // What an answer did to the schedule.
    enum class Use : unsigned char {
        Review,           // the problem's first check on the learner's day
        Practice,         // a later check that day: the card stays as it is
        BeforeLastReview, // dated before the problem's last review: set aside
        AheadOfReading,   // dated more than a day after it was read: set aside
    };

    explicit Schedule(LearnerDays days = LearnerDays(), Fsrs::Parameters parameters = {})
        : days_(days), scheduler_(parameters)
    {
    }

    // What a review was, as the scheduler took it in.
    struct Review {
        QString problemId;
        Fsrs::Rating rating = Fsrs::Rating::Again;
        int elapsedDays = 0; // the learner's days since the problem's last review; 0 for its first
        qint64 clockMs = 0;  // when, on the learner's clock (LearnerDays::clockOf)
    };

    // Answers in file order, each as read at `readAtMs`. A review is rated
    // Good when every term is right, Hard with at most one term in five
    // wrong, else Again. An answer set aside stays in the log, unused.
    // `review`, when given, is set to the review an answer of Use::Review was.
    Use add(const Answer& a, qint64 readAtMs, Review* review = nullptr);
    static Fsrs::Rating ratingOf(const Answer& a);

    // Every reviewed problem, by problemId.
    QList<ScheduledProblem> problems() const;
    // Due on the learner's day of atMs or earlier, most overdue first (then
    // by problemId).
    QList<ScheduledProblem> dueBy(qint64 atMs) const;
    // Predicted recall of the problem at atMs.
    double recall(const ScheduledProblem& p, qint64 atMs) const;

    const LearnerDays& days() const { return days_; }
    const Fsrs::Parameters& parameters() const { return scheduler_.parameters(); }
    // The use of every answer added, in order.
    const QList<Use>& uses() const { return uses_; }
    // How many answers were set aside and why, in Japanese; "" for none.
    QString setAsideNote() const;
    int setAside() const { return beforeLastReview_ + aheadOfReading_; }

    // The answers set aside, by reason: with problems(), all that a store
    // keeps so as not to add every answer again.
    struct SetAside {
        int beforeLastReview = 0;
        int aheadOfReading = 0;
        bool operator==(const SetAside& o) const
        {
            return beforeLastReview == o.beforeLastReview && aheadOfReading == o.aheadOfReading;
        }
    };
    SetAside setAsideCounts() const { return {beforeLastReview_, aheadOfReading_}; }
    // Takes up a state kept from problems() and setAsideCounts(); uses()
    // starts empty, the answers before it being left unread.
    void restore(const QList<ScheduledProblem>& problems, SetAside counts);

private:
    Use use(const Answer& a, qint64 readAtMs, const ScheduledProblem* known) const;

    LearnerDays days_;
    Fsrs::Scheduler scheduler_;
    // By series and problem hash: one to one with the problem's id (its
    // IRI), and much quicker to look up.
    using Key = std::pair<QString, QString>;
    QHash<Key, ScheduledProblem> problems_;
    QList<Use> uses_;
    int beforeLastReview_ = 0;
    int aheadOfReading_ = 0;
};
