#include "record/Progress.h"

#include <QHash>

#include <algorithm>

namespace
{

// What is known of one problem: answered at all, and how its latest review went.
enum class Latest : signed char { NoReview, Wrong, Right };

// The rows being filled, one per series file, with their problems.
struct Rows {
    QList<SeriesProgress> list;
    QList<QHash<QString, Latest>> problems; // beside list: problem hash -> latest review
    QHash<QString, int> indexOf;            // series file -> row

    int rowOf(const QString& series)
    {
        const auto it = indexOf.constFind(series);
        if (it != indexOf.constEnd()) {
            return it.value();
        }
        // A series answered but no longer listed is named by its file.
        return add(series, series);
    }
    int add(const QString& series, const QString& title)
    {
        const int row = static_cast<int>(list.size());
        indexOf.insert(series, row);
        list.append(SeriesProgress{series, title});
        problems.append(QHash<QString, Latest>());
        return row;
    }
};

// Local midnight every `step` days from `first`, `count` + 1 of them: days
// are not all 24 hours long where the clocks change.
QList<qint64> dayStarts(const QDate& first, int count, int step)
{
    QList<qint64> starts;
    starts.reserve(count + 1);
    for (int i = 0; i <= count; ++i) {
        starts.append(first.addDays(qint64(i) * step).startOfDay().toMSecsSinceEpoch());
    }
    return starts;
}

// The span among `starts` that holds `ms`, -1 when none does.
int spanOf(const QList<qint64>& starts, qint64 ms)
{
    if (ms < starts.first() || ms >= starts.last()) {
        return -1;
    }
    return static_cast<int>(std::upper_bound(starts.begin(), starts.end(), ms) - starts.begin()) -
           1;
}

void countDue(Rows& rows, const QList<ScheduledProblem>& scheduled, const QDate& today)
{
    const QDate weekEnd = today.addDays(6);
    for (const ScheduledProblem& p : scheduled) {
        SeriesProgress& row = rows.list[rows.rowOf(p.series)];
        row.dueToday += p.dueDay <= today ? 1 : 0;
        row.dueThisWeek += p.dueDay <= weekEnd ? 1 : 0;
    }
}

// part / whole in whole percent, halves rounded up.
int percent(int part, int whole)
{
    return whole > 0 ? (part * 200 + whole) / (whole * 2) : 0;
}

// The rows with their problems counted; series no longer listed after the
// catalogue's, by name.
QList<SeriesProgress> counted(Rows rows, qsizetype listed)
{
    for (qsizetype i = 0; i < rows.list.size(); ++i) {
        const QHash<QString, Latest>& problems = rows.problems.at(i);
        rows.list[i].seen = static_cast<int>(problems.size());
        rows.list[i].right =
            static_cast<int>(std::count(problems.cbegin(), problems.cend(), Latest::Right));
    }
    std::sort(rows.list.begin() + listed, rows.list.end(),
              [](const SeriesProgress& a, const SeriesProgress& b) { return a.series < b.series; });
    return std::move(rows.list);
}

// "11月9日"
QString dayName(const QDate& day)
{
    return QStringLiteral("%1月%2日").arg(QString::number(day.month()), QString::number(day.day()));
}

} // namespace

int SeriesProgress::rightPercent() const
{
    return percent(right, seen);
}

int WeekRate::rightPercent() const
{
    return percent(right, reviews);
}

namespace
{

// The catalogue's series, each once, in list order.
Rows catalogueRows(const QList<std::pair<QString, QString>>& catalogue)
{
    Rows rows;
    for (const auto& [series, title] : catalogue) {
        if (!rows.indexOf.contains(series)) {
            rows.add(series, title);
        }
    }
    return rows;
}

// The terms least often right first.
QList<TermRate> worstFirst(QList<TermRate> rates)
{
    std::stable_sort(rates.begin(), rates.end(), [](const TermRate& a, const TermRate& b) {
        return qint64(a.right) * b.firstChecks < qint64(b.right) * a.firstChecks;
    });
    return rates;
}

} // namespace

Progress makeProgress(QString learner, const QList<Answer>& answers, const Schedule& schedule,
                      const QList<ScheduledProblem>& scheduled,
                      const QList<std::pair<QString, QString>>& catalogue, const QDateTime& now)
{
    Progress progress;
    progress.learner = std::move(learner);
    progress.answers = static_cast<int>(answers.size());
    progress.setAside = schedule.setAsideNote();
    const QList<Schedule::Use>& uses = schedule.uses(); // beside answers

    Rows rows = catalogueRows(catalogue);
    const auto listed = rows.list.size();

    const QDate today = now.toLocalTime().date();
    const QDate firstDay = today.addDays(1 - Progress::Days);
    const QDate firstMonday = today.addDays(1 - today.dayOfWeek() - 7 * (Progress::Weeks - 1));
    const QList<qint64> days = dayStarts(firstDay, Progress::Days, 1);
    const QList<qint64> weeks = dayStarts(firstMonday, Progress::Weeks, 7);
    QList<int> dayAnswers(Progress::Days, 0);
    QList<WeekRate> weekRates(Progress::Weeks);

    // Answers come in runs of one series: its row is looked up once a run.
    const QString* lastSeries = nullptr;
    int row = -1;
    TermTally terms;
    for (qsizetype i = 0; i < answers.size(); ++i) {
        const Answer& a = answers.at(i);
        terms.add(a);
        if (lastSeries == nullptr || *lastSeries != a.series) {
            row = rows.rowOf(a.series);
            lastSeries = &a.series;
        }
        Latest& latest = rows.problems[row][a.problemHash];
        if (i < uses.size() && uses.at(i) == Schedule::Use::Review) {
            latest = a.success ? Latest::Right : Latest::Wrong;
            const int week = spanOf(weeks, a.timestampMs);
            if (week >= 0) {
                ++weekRates[week].reviews;
                weekRates[week].right += a.success ? 1 : 0;
            }
        }
        const int day = spanOf(days, a.timestampMs);
        if (day >= 0) {
            ++dayAnswers[day];
        }
    }
    countDue(rows, scheduled, schedule.days().dayOf(now.toMSecsSinceEpoch()));
    progress.series = counted(std::move(rows), listed);

    for (int i = 0; i < Progress::Days; ++i) {
        progress.days.append(DayCount{firstDay.addDays(i), dayAnswers.at(i)});
    }
    for (int i = 0; i < Progress::Weeks; ++i) {
        weekRates[i].monday = firstMonday.addDays(qint64(7) * i);
    }
    progress.weeks = std::move(weekRates);
    progress.terms = worstFirst(terms.rates());
    return progress;
}

QString describeDays(const QList<DayCount>& days)
{
    QStringList parts;
    for (const DayCount& d : days) {
        parts.append(QStringLiteral("%1 %2問").arg(dayName(d.day), QString::number(d.answers)));
    }
    return parts.join(u'、');
}

QString describeWeeks(const QList<WeekRate>& weeks)
{
    QStringList parts;
    for (const WeekRate& w : weeks) {
        const QString week = dayName(w.monday) + QStringLiteral("の週 ");
        parts.append(w.reviews == 0
                         ? week + QStringLiteral("復習なし")
                         : week + QStringLiteral("%1%（%2問中%3問）")
                                      .arg(QString::number(w.rightPercent()),
                                           QString::number(w.reviews), QString::number(w.right)));
    }
    return parts.join(u'、');
}
