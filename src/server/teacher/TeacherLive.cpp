#include "server/teacher/TeacherLive.h"

#include "files/FileLookup.h"
#include "record/Statements.h"
#include "series/Catalog.h"
#include "server/store/Store.h"
#include "session/Recording.h"
#include "session/SessionValue.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

// Answers shown on the live page, newest first.
constexpr int LatestAnswers = 20;

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

std::optional<QJsonObject> TeacherLive::poll(Store& store, qint64 signOutAfterMs,
                                             const QList<Store::Learner>& inOrder)
{
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    const std::optional<QList<Store::SignedIn>> signedIn = store.signedIn(at);
    const QString state = store.statementsState();
    if (!signedIn || state.isEmpty()) {
        return std::nullopt;
    }
    const QHash<QString, QString> titles = seriesTitles(workDir_);
    QHash<QString, Store::SignedIn> byKey;
    for (const Store::SignedIn& s : *signedIn) {
        byKey.insert(s.learner, s);
    }
    QHash<QString, Store::Learner> learners;
    QJsonArray now;
    // In the school's order: by class and 番号.
    for (const Store::Learner& l : inOrder) {
        learners.insert(l.key, l);
        const auto found = byKey.constFind(l.key);
        if (found == byKey.cend()) {
            continue;
        }
        const Store::SignedIn& s = *found;
        const Store::Learner* learner = &l;
        QJsonObject one = workingOn(s.value, titles);
        one.insert(QStringLiteral("name"), learner->name);
        one.insert(QStringLiteral("class"), learner->classId);
        // The session lasts sign-out-after past the latest action.
        one.insert(QStringLiteral("last"), s.expiresMs - signOutAfterMs);
        now.append(one);
    }
    return QJsonObject{{QStringLiteral("now"), now},
                       {QStringLiteral("answers"), latestAnswers(store, state, titles, learners)},
                       {QStringLiteral("state"), state}};
}

QJsonArray TeacherLive::latestAnswers(Store& store, const QString& state,
                                      const QHash<QString, QString>& titles,
                                      const QHash<QString, Store::Learner>& learners)
{
    QStringList keys = learners.keys();
    keys.sort();
    const QString asked = state + QLatin1Char('\n') + keys.join(QLatin1Char('\n'));
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (asked == answersFor_) {
            return answers_;
        }
    }
    if (keys.isEmpty()) {
        return {};
    }
    const std::optional<QList<Store::StatementRow>> rows =
        store.latestStatements(LatestAnswers, keys);
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
        out.append(QJsonObject{{QStringLiteral("name"), learners.value(row.learner).name},
                               {QStringLiteral("class"), learners.value(row.learner).classId},
                               {QStringLiteral("series"), titles.value(a->series, a->series)},
                               {QStringLiteral("heading"), a->heading},
                               {QStringLiteral("success"), a->success},
                               {QStringLiteral("right"), a->right},
                               {QStringLiteral("terms"), a->terms.size()},
                               {QStringLiteral("at"), row.timestampMs}});
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    answersFor_ = asked;
    answers_ = out;
    return out;
}
