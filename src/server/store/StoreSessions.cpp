// The learners' sessions: begun at sign-in, looked up, lengthened by each
// action, ended by a sign-out, by the teacher or by time; and who is signed
// in now, for the teacher's live page.

#include "server/store/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <functional>
#include <tuple>

QString Store::addSession(const QByteArray& idHash, const QString& learner, qint64 expiresMs)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    // Sessions past their time go as new ones come.
    QSqlQuery old = prepared(db, QStringLiteral("DELETE FROM sessions WHERE expires_ms < ?"),
                             {expiresMs - 2 * 12 * 3600 * qint64(1000)});
    old.exec();
    QSqlQuery q = prepared(db,
                           QStringLiteral("INSERT INTO sessions (id_hash, learner, expires_ms)"
                                          " SELECT ?, ?, CAST(? AS BIGINT)") +
                               ifRegistered(),
                           {QString::fromLatin1(idHash.toHex()), learner, expiresMs, learner});
    return insertForLearner(q, learner, QStringLiteral("サインインを記録できません"));
}

std::optional<QString> Store::sessionLearner(const QByteArray& idHash, qint64 nowMs,
                                             QString* failure)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("SELECT learner FROM sessions WHERE id_hash = ? AND expires_ms > ?"),
        {QString::fromLatin1(idHash.toHex()), nowMs});
    if (read(q, QStringLiteral("記録を読めません"), failure) && q.next()) {
        return q.value(0).toString();
    }
    return std::nullopt;
}

void Store::removeSession(const QByteArray& idHash)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("DELETE FROM sessions WHERE id_hash = ?"),
                           {QString::fromLatin1(idHash.toHex())});
    if (!q.exec()) {
        failure(QStringLiteral("サインアウトを記録できません"), q.lastError().text());
    }
}

std::optional<int> Store::removeSessions(const QString& learner)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("DELETE FROM sessions WHERE learner = ?"), {learner});
    if (!q.exec()) {
        failure(QStringLiteral("サインアウトを記録できません"), q.lastError().text());
        return std::nullopt;
    }
    return q.numRowsAffected();
}

QString Store::extendSession(const QByteArray& idHash, qint64 expiresMs)
{
    QSqlQuery& q = reused(QStringLiteral("UPDATE sessions SET expires_ms = ? WHERE id_hash = ?"),
                          {expiresMs, QString::fromLatin1(idHash.toHex())});
    return q.exec() ? QString()
                    : failure(QStringLiteral("サインインを延ばせません"), q.lastError().text());
}

std::optional<QStringList> Store::endExpiredSessions(qint64 nowMs)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery q = prepared(db,
                           QStringLiteral("SELECT id_hash, learner FROM sessions"
                                          " WHERE expires_ms <= ?"),
                           {nowMs});
    if (!read(q, QStringLiteral("サインインを読めません"), nullptr)) {
        return std::nullopt;
    }
    QList<QPair<QString, QString>> found;
    while (q.next()) {
        found.append({q.value(0).toString(), q.value(1).toString()});
    }
    QStringList ended;
    for (const auto& [id, learner] : found) {
        // An action in between made it last longer; another server may
        // have ended it already.
        QSqlQuery end = prepared(
            db, QStringLiteral("DELETE FROM sessions WHERE id_hash = ? AND expires_ms <= ?"),
            {id, nowMs});
        if (!end.exec()) {
            failure(QStringLiteral("サインアウトを記録できません"), end.lastError().text());
            return std::nullopt;
        }
        if (end.numRowsAffected() > 0) {
            ended.append(learner);
        }
    }
    return ended;
}

std::optional<QList<Store::SignedIn>> Store::signedIn(qint64 nowMs)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT s.learner, MAX(s.expires_ms),"
                                          " MAX(COALESCE(l.value, '')) FROM sessions s"
                                          " LEFT JOIN learner_states l ON l.learner = s.learner"
                                          " WHERE s.expires_ms > ? GROUP BY s.learner"
                                          " ORDER BY s.learner"),
                           {nowMs});
    if (!read(q, QStringLiteral("サインインを読めません"), nullptr)) {
        return std::nullopt;
    }
    QList<SignedIn> out;
    while (q.next()) {
        out.append(
            {q.value(0).toString(), q.value(1).toLongLong(), q.value(2).toString().toUtf8()});
    }
    return out;
}
