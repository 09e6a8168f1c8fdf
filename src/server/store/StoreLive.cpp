// Who is signed in now and the latest answers, for the teacher's live page;
// sessions ended by the teacher or by time.

#include "server/store/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <functional>
#include <tuple>

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
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("UPDATE sessions SET expires_ms = ? WHERE id_hash = ?"),
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

// Each learner's latest times from the index on (learner, timestamp_ms),
// then the rows at or after the count-th latest of them: the statements'
// text is read for those rows alone, however many the class has made.
std::optional<QList<Store::StatementRow>> Store::latestStatements(int count)
{
    const QSqlDatabase db = QSqlDatabase::database(connection_);
    QString failed;
    const QStringList learners = learnerNames(&failed);
    QList<qint64> times;
    for (const QString& learner : learners) {
        QSqlQuery q =
            prepared(db,
                     QStringLiteral("SELECT timestamp_ms FROM statements WHERE learner = ?"
                                    " ORDER BY timestamp_ms DESC LIMIT ?"),
                     {learner, count});
        if (!read(q, QStringLiteral("回答の記録を読めません"), &failed)) {
            return std::nullopt;
        }
        while (q.next()) {
            times.append(q.value(0).toLongLong());
        }
    }
    if (!failed.isEmpty()) {
        return std::nullopt;
    }
    std::sort(times.begin(), times.end(), std::greater<>());
    QList<StatementRow> out;
    if (times.isEmpty()) {
        return out;
    }
    const qint64 from = times.at(std::min<qsizetype>(count, times.size()) - 1);
    for (const QString& learner : learners) {
        QSqlQuery q = prepared(db,
                               QStringLiteral("SELECT timestamp_ms, id, json FROM statements"
                                              " WHERE learner = ? AND timestamp_ms >= ?"),
                               {learner, from});
        if (!read(q, QStringLiteral("回答の記録を読めません"), nullptr)) {
            return std::nullopt;
        }
        while (q.next()) {
            out.append({learner, q.value(0).toLongLong(), q.value(1).toString(),
                        q.value(2).toString().toUtf8()});
        }
    }
    std::sort(out.begin(), out.end(), [](const StatementRow& x, const StatementRow& y) {
        return std::tie(x.timestampMs, x.id) > std::tie(y.timestampMs, y.id);
    });
    out.resize(std::min<qsizetype>(count, out.size()));
    return out;
}
