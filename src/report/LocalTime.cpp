#include "report/LocalTime.h"

#include <QDateTime>

namespace LocalTime
{

namespace
{
constexpr qint64 HourMs = 3600 * 1000;
constexpr qint64 DayMs = 24 * HourMs;
} // namespace

QDate Days::of(qint64 utcMs)
{
    const qint64 hour = utcMs >= 0 ? utcMs / HourMs : (utcMs - HourMs + 1) / HourMs;
    if (hour != hour_) {
        hour_ = hour;
        offsetMs_ = qint64(QDateTime::fromMSecsSinceEpoch(hour * HourMs).offsetFromUtc()) * 1000;
    }
    const qint64 local = utcMs + offsetMs_;
    const qint64 day = local >= 0 ? local / DayMs : (local - DayMs + 1) / DayMs;
    return QDate(1970, 1, 1).addDays(day);
}

QString dateTime(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

qint64 startOf(QDate day)
{
    return QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
}

} // namespace LocalTime
