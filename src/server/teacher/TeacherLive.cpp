// The teacher's live page: who is signed in now and on what, the latest
// answers, and a learner signed out from there (a shared device left
// signed in). Polled every second, so each poll costs two small reads; the
// answers are read again only when the statements change.

#include "server/ClassroomServer.h"

#include "files/FileLookup.h"
#include "record/Statements.h"
#include "series/Catalog.h"
#include "server/ServerLog.h"
#include "server/ServerReplies.h"
#include "server/Store.h"
#include "session/Recording.h"
#include "session/SessionValue.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

using Reply = ClassroomServer::Reply;

// Answers shown on the live page, newest first.
constexpr int LatestAnswers = 20;

const QString StoreDown =
    QStringLiteral("記録を読めません。しばらくしてからもう一度試してください");

// Each series' title by its file, as the learners' list shows it.
QHash<QString, QString> seriesTitles(const QString& workDir)
{
    const Catalog::Result catalog =
        Catalog::read(FileLookup::resolve(workDir, QLatin1String(Catalog::FileName)));
    QHash<QString, QString> titles;
    for (const Catalog::Entry& e : catalog.entries) {
        titles.insert(e.fileName, e.title);
    }
    return titles;
}

// What a signed-in learner has open: the series' title, the problem and
// since when it is shown; nothing while they are on the list.
QJsonObject workingOn(const QByteArray& value, const QHash<QString, QString>& titles)
{
    QString why;
    const std::optional<SessionValue> v =
        SessionValue::fromJson(QJsonDocument::fromJson(value).object(), &why);
    if (!v || v->screen == Screen::SeriesList) {
        return {};
    }
    QString title = titles.value(v->file, v->file);
    if (v->source == SessionValue::Source::Marked) {
        title = QStringLiteral("マークの付いた問題");
    } else if (v->source == SessionValue::Source::Review) {
        title = QString::fromUtf16(Recording::ReviewTitle);
    }
    return {{QStringLiteral("series"), title},
            {QStringLiteral("problem"), v->currentProblem},
            {QStringLiteral("problems"), v->problemCount},
            {QStringLiteral("since"), v->showing.shownAtMs}};
}

} // namespace

ClassroomServer::Reply ClassroomServer::teacherLive(Store& store)
{
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    const std::optional<QList<Store::SignedIn>> signedIn = store.signedIn(at);
    const QString state = store.statementsState();
    if (!signedIn || state.isEmpty()) {
        return ServerReplies::unavailable(StoreDown);
    }
    const QHash<QString, QString> titles = seriesTitles(workDir_);
    QJsonArray now;
    for (const Store::SignedIn& s : *signedIn) {
        QJsonObject one = workingOn(s.value, titles);
        one.insert(QStringLiteral("name"), s.learner);
        // The session lasts sign-out-after past the latest action.
        one.insert(QStringLiteral("last"), s.expiresMs - signOutAfterMs_);
        now.append(one);
    }
    return ServerReplies::json(200,
                               {{QStringLiteral("now"), now},
                                {QStringLiteral("answers"), latestAnswers(store, state, titles)},
                                {QStringLiteral("state"), state}});
}

QJsonArray ClassroomServer::latestAnswers(Store& store, const QString& state,
                                          const QHash<QString, QString>& titles)
{
    {
        const std::lock_guard<std::mutex> lock(shared_);
        if (state == answersFor_) {
            return answers_;
        }
    }
    const std::optional<QList<Store::StatementRow>> rows = store.latestStatements(LatestAnswers);
    if (!rows) {
        return {}; // read again at the next poll
    }
    QJsonArray out;
    for (const Store::StatementRow& row : *rows) {
        QString why;
        const std::optional<Answer> a = Statements::parse(row.json, &why);
        if (!a) {
            continue;
        }
        out.append(QJsonObject{{QStringLiteral("name"), row.learner},
                               {QStringLiteral("series"), titles.value(a->series, a->series)},
                               {QStringLiteral("heading"), a->heading},
                               {QStringLiteral("success"), a->success},
                               {QStringLiteral("right"), a->right},
                               {QStringLiteral("terms"), a->terms.size()},
                               {QStringLiteral("at"), row.timestampMs}});
    }
    const std::lock_guard<std::mutex> lock(shared_);
    answersFor_ = state;
    answers_ = out;
    return out;
}

// Every session of the learner ends: their next action finds them signed
// out, on whichever device and server.
ClassroomServer::Reply ClassroomServer::signOutLearner(Store& store, const QString& learner)
{
    const std::optional<int> ended = store.removeSessions(learner);
    if (!ended) {
        return ServerReplies::unavailable(StoreDown);
    }
    forgetLearner(learner);
    if (*ended > 0) {
        ServerLog::line(
            QStringLiteral("サインアウト（先生による） %1").arg(ServerLog::clean(learner)));
    }
    return ServerReplies::json(200, {{QStringLiteral("ended"), *ended}});
}
