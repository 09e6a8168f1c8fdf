#include "session/Assigned.h"

#include "record/AnswerStore.h"
#include "series/SeriesLoader.h"
#include "session/MainScreen.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>

namespace Assigned
{

namespace
{

QDate dueOf(const QList<DueSeries>& due, const QString& file)
{
    for (const DueSeries& d : due) {
        if (d.file.compare(file, Qt::CaseInsensitive) == 0) {
            return d.due;
        }
    }
    return {};
}

// Problems of `file` whose last check was right, among those it still holds.
int solvedIn(MainScreen& screen, const QString& file)
{
    QHash<QString, bool> last;
    for (const Answer& a : screen.record->answers()) {
        if (a.series.compare(file, Qt::CaseInsensitive) == 0) {
            last.insert(a.problemHash, a.success);
        }
    }
    int solved = 0;
    for (auto it = last.cbegin(); it != last.cend(); ++it) {
        solved += it.value() && screen.problemIndex.find(file, it.key()) ? 1 : 0;
    }
    return solved;
}

} // namespace

void order(QList<Catalog::Entry>& entries, const QList<DueSeries>& due)
{
    if (due.isEmpty()) {
        return;
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [&due](const Catalog::Entry& a, const Catalog::Entry& b) {
                         const QDate da = dueOf(due, a.fileName);
                         const QDate db = dueOf(due, b.fileName);
                         if (da.isValid() != db.isValid()) {
                             return da.isValid();
                         }
                         return da.isValid() && da < db;
                     });
}

QString label(const QString& title, QDate due, QDate today, int solved, int problems)
{
    const QString when = due.toString(QStringLiteral("M/d")) +
                         (due < today ? QStringLiteral("（期限切れ）") : QString());
    return problems < 0 ? QStringLiteral("%1　期限 %2").arg(title, when)
                        : QStringLiteral("%1　期限 %2　%3/%4問")
                              .arg(title, when, QString::number(solved), QString::number(problems));
}

void labelRows(MainScreen& screen)
{
    if (screen.dueSeries.isEmpty()) {
        return;
    }
    const bool read = screen.record != nullptr && screen.record->readAheadDone();
    const QDate today = QDateTime::fromMSecsSinceEpoch(read ? screen.record->now()
                                                            : QDateTime::currentMSecsSinceEpoch())
                            .date();
    QStringList& entries = screen.seriesList.Entries;
    for (int row = 1; row <= SeriesState::MaxCatalogEntries && row < entries.size(); ++row) {
        const auto& entry = screen.state.catalog.at(static_cast<std::size_t>(row));
        const QDate due = dueOf(screen.dueSeries, entry[1]);
        if (!due.isValid() || entry[1].trimmed().isEmpty()) {
            continue;
        }
        const int problems = read ? SeriesLoader::load(screen.pathOf(entry[1])).loadedCount() : -1;
        entries[row] = label(entry[0], due, today, read ? solvedIn(screen, entry[1]) : 0, problems);
    }
}

} // namespace Assigned
