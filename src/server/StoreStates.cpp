// The store's transactions and each learner's stored session.

#include "server/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace
{

QSqlQuery bound(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values) {
        q.addBindValue(v);
    }
    return q;
}

// One SQLite file per process; a class's writes take turns here.
std::mutex sqliteWriters;

// Empty text stays text, not NULL.
QString text(const QString& s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

QString Store::begin()
{
    if (sqlite_) {
        writeTurn_ = std::unique_lock<std::mutex>(sqliteWriters);
    }
    QSqlQuery q(QSqlDatabase::database(connection_));
    // SQLite's plain BEGIN would take the write lock only at the first
    // write, and fail there at once if another writer holds it.
    const QString sql = !sqlite_ ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
    if (!q.exec(sql)) {
        writeTurn_ = {};
        return failure(QStringLiteral("記録を書き始められません"), q.lastError().text());
    }
    inTransaction_ = true;
    failedInTransaction_ = false;
    return {};
}

QString Store::commit()
{
    QSqlQuery q(QSqlDatabase::database(connection_));
    if (failedInTransaction_ || !q.exec(QStringLiteral("COMMIT"))) {
        const QString why = failedInTransaction_ ? QStringLiteral("記録の一部を保存できません")
                                                 : q.lastError().text();
        rollback();
        return failure(QStringLiteral("記録を保存できません"), why);
    }
    inTransaction_ = false;
    writeTurn_ = {};
    return {};
}

void Store::rollback()
{
    QSqlQuery(QSqlDatabase::database(connection_)).exec(QStringLiteral("ROLLBACK"));
    inTransaction_ = false;
    failedInTransaction_ = false;
    writeTurn_ = {};
}

std::optional<Store::LearnerState> Store::learnerState(const QString& learner, QString* failed)
{
    const QString lock = !sqlite_ ? QStringLiteral(" FOR UPDATE") : QString();
    QSqlQuery q = bound(QSqlDatabase::database(connection_),
                        QStringLiteral("SELECT seq, value, last_key, last_reply FROM learner_states"
                                       " WHERE learner = ?") +
                            lock,
                        {learner});
    if (!q.exec()) {
        *failed = failure(QStringLiteral("学習者の画面を読めません"), q.lastError().text());
        return std::nullopt;
    }
    LearnerState s;
    if (q.next()) {
        s.seq = q.value(0).toLongLong();
        s.value = q.value(1).toString().toUtf8();
        s.lastKey = q.value(2).toString().toLatin1();
        s.lastReply = q.value(3).toString().toUtf8();
    }
    return s;
}

QString Store::saveLearnerState(const QString& learner, const LearnerState& s)
{
    QSqlQuery q = bound(
        QSqlDatabase::database(connection_),
        QStringLiteral("INSERT INTO learner_states (learner, seq, value, last_key, last_reply)"
                       " VALUES (?, ?, ?, ?, ?) ON CONFLICT (learner) DO UPDATE SET"
                       " seq = excluded.seq, value = excluded.value,"
                       " last_key = excluded.last_key, last_reply = excluded.last_reply"),
        {learner, s.seq, text(QString::fromUtf8(s.value)), text(QString::fromLatin1(s.lastKey)),
         text(QString::fromUtf8(s.lastReply))});
    return q.exec() ? QString()
                    : failure(QStringLiteral("学習者の画面を保存できません"), q.lastError().text());
}

std::optional<bool> Store::sessionHeld(const QByteArray& idHash, const QString& learner,
                                       qint64 nowMs)
{
    const QString lock = !sqlite_ ? QStringLiteral(" FOR SHARE") : QString();
    QSqlQuery q = bound(QSqlDatabase::database(connection_),
                        QStringLiteral("SELECT learner FROM sessions WHERE id_hash = ?"
                                       " AND expires_ms > ?") +
                            lock,
                        {QString::fromLatin1(idHash.toHex()), nowMs});
    if (!q.exec()) {
        failure(QStringLiteral("サインインを確かめられません"), q.lastError().text());
        return std::nullopt;
    }
    return q.next() && q.value(0).toString() == learner;
}
