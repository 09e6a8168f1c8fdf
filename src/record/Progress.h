#pragma once

#include "record/Answer.h"
#include "record/Schedule.h"
#include "record/TermRates.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <utility>

// One series' line of the learning record.
struct SeriesProgress {
    QString series; // the series file name
    QString title;  // as the catalogue lists it; the file name for a series no longer listed
    int seen = 0;   // distinct problems with any answer
    int right = 0;  // problems whose latest review was right
    int dueToday = 0;
    int dueThisWeek = 0; // within the learner's seven days from today on

    // right / seen in whole percent; 0 for a series with nothing seen.
    int rightPercent() const;
};

// Answers (every check) on one local day.
struct DayCount {
    QDate day;
    int answers = 0;
};

// Reviews (first checks of a problem on a learner's day) in one week, Monday
// to Sunday, local time.
struct WeekRate {
    QDate monday;
    int reviews = 0;
    int right = 0;

    // right / reviews in whole percent; 0 for a week without reviews.
    int rightPercent() const;
};

// What the record page shows for one learner.
struct Progress {
    static constexpr int Days = 30;
    static constexpr int Weeks = 12;

    QString learner;
    QList<SeriesProgress> series; // the catalogue's series in its order, then others by name
    QList<DayCount> days;         // the last Days days, oldest first, today last
    QList<WeekRate> weeks;        // the last Weeks weeks, oldest first, this week last
    QList<TermRate> terms;        // each term answered, least often right first
    int answers = 0;              // every check in the record
    QString setAside;             // answers left out of the schedule and why; "" for none
};

// The learner's record page from one learner's answers in the order they
// were written, the schedule they made, the scheduled problems whose text
// still exists, and the catalogue as (series file, title) pairs in list
// order. Days and weeks are counted in local time as of `now`, due reviews
// by the learner's days.
Progress makeProgress(QString learner, const QList<Answer>& answers, const Schedule& schedule,
                      const QList<ScheduledProblem>& scheduled,
                      const QList<std::pair<QString, QString>>& catalogue, const QDateTime& now);

// The charts' numbers in words, for a screen reader:
// "11月9日 0問、…、12月8日 5問"
QString describeDays(const QList<DayCount>& days);
// "9月21日の週 75%（8問中6問）、…、12月7日の週 復習なし"
QString describeWeeks(const QList<WeekRate>& weeks);
