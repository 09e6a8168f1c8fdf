#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

// Times of statements (UTC milliseconds) as the teacher's clock shows them.
namespace LocalTime
{

// The local date of many times in a row: the offset from UTC is looked up
// once per hour of UTC, since a year of a class is a few hundred thousand
// checks and a time-zone look-up is slow.
class Days
{
public:
    QDate of(qint64 utcMs);

private:
    qint64 hour_ = -1;
    qint64 offsetMs_ = 0;
};

// "2026-12-08 12:43:11": local time, to the second; the form spreadsheets
// take as a date and time.
QString dateTime(qint64 utcMs);

// The first moment of a local day, in UTC milliseconds: a range of days
// [from, to] is the times from startOf(from) to before startOf(to + 1).
qint64 startOf(QDate day);

} // namespace LocalTime
