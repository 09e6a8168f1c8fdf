#include "record/LearnerDays.h"

#include <QDateTime>
#include <QRegularExpression>

namespace
{

constexpr qint64 QuarterMs = 900000;
constexpr qint64 DayMs = 96 * QuarterMs;
constexpr qint64 JulianDayOf1970 = 2440588;

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

qint64 LearnerDays::clockOf(qint64 utcMs) const
{
    const qint64 quarter = floorDiv(utcMs, QuarterMs);
    if (quarter != memoQuarter_) {
        memoOffsetMs_ = qint64(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000;
        memoQuarter_ = quarter;
    }
    return utcMs + memoOffsetMs_ - qint64(startMinutes_) * 60000;
}

QDate LearnerDays::dayOfClock(qint64 clockMs)
{
    return QDate::fromJulianDay(JulianDayOf1970 + floorDiv(clockMs, DayMs));
}

std::optional<int> LearnerDays::readStart(const QString& text, QString* why)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2})(?::(\\d{2}))?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    const int hour = m.hasMatch() ? m.captured(1).toInt() : -1;
    const int minute = m.hasMatch() ? m.captured(2).toInt() : -1;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
        *why = QStringLiteral("一日の始まりは 0:00 から 23:59 までの時刻で書いて下さい"
                              "（例: 4 または 4:30）。「%1」は時刻として読めません。")
                   .arg(text);
        return std::nullopt;
    }
    return hour * 60 + minute;
}
