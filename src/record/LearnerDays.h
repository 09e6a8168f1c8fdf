#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <optional>

// A learner's days: each runs from a set time of the morning (04:00 local
// time unless the command line says otherwise) to the same time the next
// morning, so that a late evening counts with the day it belongs to. The
// first check of a problem on such a day is its review.
class LearnerDays
{
public:
    static constexpr int DefaultStartMinutes = 4 * 60;

    explicit LearnerDays(int startMinutes = DefaultStartMinutes) : startMinutes_(startMinutes) {}

    int startMinutes() const { return startMinutes_; }
    // `utcMs` on the learner's clock: local wall time moved back by the
    // day's start and counted as if it were UTC, so that its UTC days are the
    // learner's days. The scheduler counts days on this clock.
    qint64 clockOf(qint64 utcMs) const;
    // The learner's day holding `utcMs`, named by the date it starts on.
    QDate dayOf(qint64 utcMs) const { return dayOfClock(clockOf(utcMs)); }
    static QDate dayOfClock(qint64 clockMs);

    // "H" or "H:MM" from 0:00 to 23:59; nothing, and in *why the reason in
    // Japanese, for anything else.
    static std::optional<int> readStart(const QString& text, QString* why);

private:
    int startMinutes_;
    // The local offset of the last quarter hour asked for: answers come in
    // runs, and clocks change only at a quarter hour of UTC.
    mutable qint64 memoQuarter_ = std::numeric_limits<qint64>::min();
    mutable qint64 memoOffsetMs_ = 0;
};
