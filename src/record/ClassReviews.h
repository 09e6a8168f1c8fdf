#pragma once

#include "record/Answer.h"
#include "record/LearnerDays.h"
#include "record/Schedule.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One review of a problem as the schedule took it in.
struct ReviewStep {
    qint64 clockMs = 0;  // on the learner's clock (LearnerDays::clockOf)
    int elapsedDays = 0; // the learner's days since the review before; 0 for the first
    int grade = 0;       // Fsrs::Rating: 1 Again, 2 Hard, 3 Good
};

// A problem of one learner: its reviews in order.
struct ReviewCard {
    int learner = 0; // in ClassReviews::learners()
    QString series, problemHash;
    QList<ReviewStep> steps;
};

// A class's reviews exactly as the schedule sees them (Schedule::add): the
// first check of a problem on a learner's day, rated by partial credit,
// answers set aside as the schedule sets them aside.
class ClassReviews
{
public:
    ClassReviews(LearnerDays days, qint64 readAtMs) : days_(days), readAtMs_(readAtMs) {}

    // Each learner's answers in the order they were written, learners in any
    // order; old problem ids already named as the series name them now.
    void add(const Answer& a);

    // Learners in the order their first answer came.
    const QStringList& learners() const { return learners_; }
    const QList<ReviewCard>& cards() const { return cards_; }
    // Reviews with a recall to predict: each problem's after its first.
    qsizetype predictedReviews() const;

private:
    LearnerDays days_;
    qint64 readAtMs_;
    QStringList learners_;
    QHash<QString, int> learnerIndex_;
    QList<Schedule> schedules_;
    QHash<std::pair<int, QString>, int> cardIndex_; // learner and problem id
    QList<ReviewCard> cards_;
};
