#include "server/learner/ProgressRoute.h"

#include "server/http/ServerReplies.h"
#include "server/learner/LearnerScreen.h"
#include "server/store/Store.h"

#include <QDateTime>
#include <QJsonArray>

namespace ProgressRoute
{

namespace
{

const QString StoreDown = QStringLiteral("記録を読めないため、いまは表示できません。"
                                         "しばらくしてからもう一度試してください");

QJsonArray seriesRows(const QList<SeriesProgress>& series)
{
    QJsonArray rows;
    for (const SeriesProgress& s : series) {
        rows.append(QJsonObject{{QStringLiteral("series"), s.series},
                                {QStringLiteral("title"), s.title},
                                {QStringLiteral("seen"), s.seen},
                                {QStringLiteral("right"), s.right},
                                {QStringLiteral("rightPercent"), s.rightPercent()},
                                {QStringLiteral("dueToday"), s.dueToday},
                                {QStringLiteral("dueThisWeek"), s.dueThisWeek}});
    }
    return rows;
}

QJsonArray termRows(const QList<TermRate>& terms)
{
    QJsonArray rows;
    for (const TermRate& t : terms) {
        rows.append(QJsonObject{{QStringLiteral("series"), t.series},
                                {QStringLiteral("heading"), t.heading},
                                {QStringLiteral("term"), t.term},
                                {QStringLiteral("group"), t.group},
                                {QStringLiteral("firstChecks"), t.firstChecks},
                                {QStringLiteral("right"), t.right},
                                {QStringLiteral("rightPercent"), t.rightPercent()}});
    }
    return rows;
}

QJsonArray dayRows(const QList<DayCount>& days)
{
    QJsonArray rows;
    for (const DayCount& d : days) {
        rows.append(QJsonObject{{QStringLiteral("day"), d.day.toString(Qt::ISODate)},
                                {QStringLiteral("answers"), d.answers}});
    }
    return rows;
}

QJsonArray weekRows(const QList<WeekRate>& weeks)
{
    QJsonArray rows;
    for (const WeekRate& w : weeks) {
        rows.append(QJsonObject{{QStringLiteral("monday"), w.monday.toString(Qt::ISODate)},
                                {QStringLiteral("reviews"), w.reviews},
                                {QStringLiteral("right"), w.right},
                                {QStringLiteral("rightPercent"), w.rightPercent()}});
    }
    return rows;
}

} // namespace

QJsonObject json(const Progress& progress)
{
    return {{QStringLiteral("learner"), progress.learner},
            {QStringLiteral("answers"), progress.answers},
            {QStringLiteral("setAside"), progress.setAside},
            {QStringLiteral("series"), seriesRows(progress.series)},
            {QStringLiteral("terms"), termRows(progress.terms)},
            {QStringLiteral("days"), dayRows(progress.days)},
            {QStringLiteral("daysText"), describeDays(progress.days)},
            {QStringLiteral("weeks"), weekRows(progress.weeks)},
            {QStringLiteral("weeksText"), describeWeeks(progress.weeks)}};
}

HttpReply reply(Store& store, const QByteArray& sessionHash, const Folder& folder)
{
    QString failed;
    const std::optional<QString> learner =
        store.sessionLearner(sessionHash, QDateTime::currentMSecsSinceEpoch(), &failed);
    if (!failed.isEmpty()) {
        return ServerReplies::unavailable(StoreDown);
    }
    if (!learner) {
        return ServerReplies::refusal(401, QStringLiteral("サインインしてください"));
    }
    return learnerReply(store, *learner, folder);
}

HttpReply learnerReply(Store& store, const QString& learner, const Folder& folder)
{
    // The learner's session as a new server would take it up, asked for its
    // record as the desktop's button asks: the same numbers, worked out by
    // the same code, from the statements.
    const qint64 failuresBefore = store.failureCount();
    LearnerScreen screen(learner, folder.workDir, folder.homePage, *folder.measure, store);
    const std::optional<Progress> progress = screen.progress();
    if (!progress || store.failureCount() != failuresBefore) {
        return ServerReplies::unavailable(StoreDown);
    }
    return ServerReplies::json(200, json(*progress));
}

} // namespace ProgressRoute
