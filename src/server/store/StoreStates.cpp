// The store's transactions and each learner's stored session.

#include "server/store/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <mutex>

namespace
{

// One SQLite file per process; a class's writes take turns here.
std::timed_mutex sqliteWriters;
// Whether another program holds the file's write lock: set when a writer
// of this process gave up waiting for it, until one gets it again. While
// the writer with the turn waits for such a lock, the others are answered
// at once rather than each holding a thread for a second in the queue (and
// the threads that page loads need).
std::atomic<bool> sqliteHeldElsewhere{false};
// Since when the writer with the turn has waited for the file's lock (0:
// it is not waiting). A write of this process takes milliseconds: a wait
// longer than SlowBeginMs is for another program.
std::atomic<qint64> sqliteBeginSince{0};
constexpr qint64 SlowBeginMs = 150;

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Empty text stays text, not NULL.
QString text(const QString& s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

bool Store::takeWriteTurn()
{
    const qint64 until = steadyMs() + writeWaitMs_;
    std::unique_lock<std::timed_mutex> turn(sqliteWriters, std::defer_lock);
    while (!turn.try_lock_for(std::chrono::milliseconds(10))) {
        const qint64 at = steadyMs();
        const qint64 since = sqliteBeginSince;
        if (sqliteHeldElsewhere || (since != 0 && at - since > SlowBeginMs) || at >= until) {
            return false;
        }
    }
    writeTurn_ = std::move(turn);
    return true;
}

QString Store::begin()
{
    if (sqlite_ && !takeWriteTurn()) {
        return failure(QStringLiteral("記録を書き始められません"),
                       QStringLiteral("書き込みの順番を待ちきれません"));
    }
    QSqlQuery q(QSqlDatabase::database(connection_));
    // SQLite's plain BEGIN would take the write lock only at the first
    // write, and fail there at once if another writer holds it.
    const QString sql = !sqlite_ ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
    if (sqlite_) {
        sqliteBeginSince = steadyMs();
    }
    const bool began = q.exec(sql);
    if (sqlite_) {
        sqliteBeginSince = 0;
    }
    if (!began) {
        // Only another program holds SQLite's lock past the busy wait:
        // this process's writers take turns above.
        sqliteHeldElsewhere = sqlite_;
        writeTurn_ = {};
        return failure(QStringLiteral("記録を書き始められません"), q.lastError().text());
    }
    sqliteHeldElsewhere = false;
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

QString Store::saveLearnerState(const QString& learner, const LearnerState& s)
{
    QSqlQuery& q = reused(
        QStringLiteral("INSERT INTO learner_states (learner, seq, value, last_key, last_reply)"
                       " VALUES (?, ?, ?, ?, ?) ON CONFLICT (learner) DO UPDATE SET"
                       " seq = excluded.seq, value = excluded.value,"
                       " last_key = excluded.last_key, last_reply = excluded.last_reply"),
        {learner, s.seq, text(QString::fromUtf8(s.value)), text(QString::fromLatin1(s.lastKey)),
         text(QString::fromUtf8(s.lastReply))});
    return q.exec() ? QString()
                    : failure(QStringLiteral("学習者の画面を保存できません"), q.lastError().text());
}

std::optional<Store::Start> Store::start(const QByteArray& idHash, const QString& learner,
                                         qint64 nowMs, qint64 sinceMs, QString* failure)
{
    // On PostgreSQL the learner's row is held first (not its key, which the
    // statements refer to), and only then read with the rest: a statement
    // that waited for a row lock reads the other tables as they were when it
    // began. SQLite's write lock, taken by begin(), holds the whole store.
    if (!sqlite_ && inTransaction_) {
        QSqlQuery& hold = reused(
            QStringLiteral("SELECT 1 FROM learners WHERE name = ? FOR NO KEY UPDATE"), {learner});
        const bool held = read(hold, QStringLiteral("学習者の画面を読めません"), failure);
        hold.finish();
        if (!held) {
            return std::nullopt;
        }
    }
    const QString round = beforeRounds_ ? QStringLiteral("NULL, NULL, NULL, NULL, NULL, NULL")
                                        : QStringLiteral("r.id, r.class_id, r.series, r.problem,"
                                                         " r.state, r.version");
    const QString rounds = beforeRounds_ ? QString()
                                         : QStringLiteral(" LEFT JOIN rounds r ON r.class_id ="
                                                          " l.class_id AND r.ended_ms IS NULL");
    QSqlQuery& q =
        reused(QStringLiteral("SELECT s.learner, ls.seq, ls.value, ls.last_key, ls.last_reply,"
                              " (SELECT COUNT(*) FROM statements t"
                              " WHERE t.learner = l.name AND t.timestamp_ms > ?), %1"
                              " FROM learners l"
                              " LEFT JOIN sessions s ON s.id_hash = ? AND s.learner = l.name"
                              " AND s.expires_ms > ?"
                              " LEFT JOIN learner_states ls ON ls.learner = l.name%2"
                              " WHERE l.name = ?")
                   .arg(round, rounds),
               {sinceMs, QString::fromLatin1(idHash.toHex()), nowMs, learner});
    if (!read(q, QStringLiteral("学習者の画面を読めません"), failure)) {
        return std::nullopt;
    }
    Start out;
    if (q.next()) {
        out.held = !q.isNull(0);
        out.state = {q.value(1).toLongLong(), q.value(2).toString().toUtf8(),
                     q.value(3).toString().toLatin1(), q.value(4).toString().toUtf8()};
        out.recentStatements = q.value(5).toLongLong();
        out.round = roundAt(q, 6);
    }
    q.finish();
    return out;
}
