// What a learner's answers leave in the store: their marks and their answer
// statements, the latest for the teacher's live page, and where each
// statement stands with the learning record store, so that a restart sends
// only what it has not taken.

#include "server/store/Store.h"

#include "record/FastStatementReader.h"
#include "record/ProblemId.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <limits>

QList<QByteArray> Store::unsentStatements(int count, QString* failure)
{
    return jsonLines(prepared(QSqlDatabase::database(connection_),
                              QStringLiteral("SELECT json FROM statements WHERE lrs_state = ?"
                                             " ORDER BY timestamp_ms, id LIMIT ?"),
                              {static_cast<int>(LrsState::Unsent), count}),
                     failure);
}

QString Store::setLrsState(const QStringList& ids, LrsState state)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("送信済みの印を付けられません"), db.lastError().text());
    }
    for (const QString& id : ids) {
        QSqlQuery q =
            prepared(db, QStringLiteral("UPDATE statements SET lrs_state = ? WHERE id = ?"),
                     {static_cast<int>(state), id});
        if (!q.exec()) {
            const QString why = q.lastError().text();
            db.rollback();
            return failure(QStringLiteral("送信済みの印を付けられません"), why);
        }
    }
    return db.commit()
               ? QString()
               : failure(QStringLiteral("送信済みの印を付けられません"), db.lastError().text());
}

QList<Store::Mark> Store::marks(const QString& learner, QString* failure)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT position, record FROM marks WHERE learner = ?"
                                          " ORDER BY position"),
                           {learner});
    QList<Mark> found;
    if (read(q, QStringLiteral("マークを読めません"), failure)) {
        while (q.next()) {
            found.append({q.value(0).toLongLong(), q.value(1).toString().split(QLatin1Char('\n'))});
        }
    }
    return found;
}

QString Store::appendMark(const QString& learner, const QStringList& record)
{
    // One statement picks the next position and inserts, so two servers on
    // one database cannot take the same one.
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("INSERT INTO marks (learner, position, record)"
                                          " SELECT ?, (SELECT COALESCE(MAX(position), 0) + 1"
                                          " FROM marks WHERE learner = ?), ?") +
                               ifRegistered(),
                           {learner, learner, record.join(QLatin1Char('\n')), learner});
    return insertForLearner(q, learner, QStringLiteral("マークを保存できません"));
}

QString Store::removeMarks(const QString& learner, const QList<qint64>& positions)
{
    // Inside a learner's action the action's transaction holds them all.
    const bool own = !inTransaction_;
    if (const QString failed = own ? begin() : QString(); !failed.isEmpty()) {
        return failed;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_);
    for (const qint64 position : positions) {
        QSqlQuery q =
            prepared(db, QStringLiteral("DELETE FROM marks WHERE learner = ? AND position = ?"),
                     {learner, position});
        if (!q.exec()) {
            const QString why =
                failure(QStringLiteral("マークを取り消せません"), q.lastError().text());
            if (own) {
                rollback();
            }
            return why;
        }
    }
    return own ? commit() : QString();
}

QString Store::appendStatement(const QString& learner, const QString& id, const QString& problemId,
                               qint64 timestampMs, const QByteArray& json)
{
    const std::optional<KeptAnswer> kept = keptOf(learner, problemId, timestampMs, json);
    const QVariant none;
    QSqlQuery& q = reused(
        QStringLiteral("INSERT INTO statements (learner, id, problem_id, timestamp_ms, json,"
                       " success, attempt, duration_ms) SELECT ?, ?, ?, CAST(? AS BIGINT), ?,"
                       " CAST(? AS INTEGER), CAST(? AS INTEGER), CAST(? AS BIGINT)") +
            ifRegistered(),
        {learner, id, problemId, timestampMs, QString::fromUtf8(json),
         kept ? QVariant(int(kept->success)) : none, kept ? QVariant(kept->attempt) : none,
         kept ? QVariant(kept->durationMs) : none, learner});
    return insertForLearner(q, learner, QStringLiteral("回答を記録できません"));
}

std::optional<Store::KeptAnswer> Store::keptOf(const QString& learner, const QString& problemId,
                                               qint64 timestampMs, const QByteArray& json)
{
    if (!reader_) {
        reader_ = std::make_unique<FastStatementReader>();
    }
    const std::optional<Answer> a = reader_->parse(json, nullptr);
    const std::optional<ProblemIds::Parsed> problem = ProblemIds::parse(problemId);
    // The grade book takes the learner, problem and time from the row: kept
    // only where the statement says the same. An old key is named anew from
    // the series file by what the statement asks, which only it holds.
    if (!a || !problem || a->learner != learner || a->timestampMs != timestampMs ||
        problem->series != a->series || problem->key != a->problemHash ||
        ProblemIds::isTextHash(a->problemHash)) {
        return std::nullopt;
    }
    return KeptAnswer{a->success, a->attempt, a->durationMs};
}

// A thousand rows at a time, each batch read whole before its rows are
// written: on SQLite by rowid, in the order the rows lie (by id, a random
// UUID, took a minute for a million), on PostgreSQL by id.
QString Store::keepAnswers()
{
    const QSqlDatabase db = QSqlDatabase::database(connection_);
    const QString key = sqlite_ ? QStringLiteral("rowid") : QStringLiteral("id");
    QSqlQuery read = prepared(db,
                              QStringLiteral("SELECT %1, learner, problem_id, timestamp_ms, %2"
                                             " FROM statements WHERE %1 > ? ORDER BY %1 LIMIT 1000")
                                  .arg(key, jsonAsBytes()),
                              {sqlite_ ? QVariant(std::numeric_limits<qint64>::min())
                                       : QVariant(QStringLiteral(""))}); // not null
    QSqlQuery write = prepared(db,
                               QStringLiteral("UPDATE statements SET success = ?, attempt = ?,"
                                              " duration_ms = ? WHERE %1 = ?")
                                   .arg(key),
                               {});
    read.setForwardOnly(true);
    for (;;) {
        if (!read.exec()) {
            return QStringLiteral("回答の記録を読めません: ") + read.lastError().text();
        }
        QList<QPair<QVariant, KeptAnswer>> kept;
        QVariant last;
        while (read.next()) {
            last = read.value(0);
            if (const std::optional<KeptAnswer> k =
                    keptOf(read.value(1).toString(), read.value(2).toString(),
                           read.value(3).toLongLong(), read.value(4).toByteArray())) {
                kept.append({last, *k});
            }
        }
        read.finish();
        if (!last.isValid()) {
            return {};
        }
        for (const auto& [row, k] : std::as_const(kept)) {
            write.bindValue(0, int(k.success));
            write.bindValue(1, k.attempt);
            write.bindValue(2, k.durationMs);
            write.bindValue(3, row);
            if (!write.exec()) {
                return QStringLiteral("回答の記録を書き込めません: ") + write.lastError().text();
            }
        }
        read.bindValue(0, last);
    }
}

QList<QByteArray> Store::statements(const QString& learner, QString* failure)
{
    return jsonLines(prepared(QSqlDatabase::database(connection_),
                              QStringLiteral("SELECT json FROM statements WHERE learner = ?"
                                             " ORDER BY timestamp_ms, id"),
                              {learner}),
                     failure);
}

QList<QByteArray> Store::jsonLines(QSqlQuery q, QString* failure) const
{
    QList<QByteArray> lines;
    // Read once, in order: a year of a learner's in a quarter of the time.
    q.setForwardOnly(true);
    if (read(q, QStringLiteral("回答の記録を読めません"), failure)) {
        while (q.next()) {
            lines.append(q.value(0).toString().toUtf8());
        }
    }
    return lines;
}

// Each learner's latest times from the index on (learner, timestamp_ms),
// then the rows at or after the count-th latest of them: the statements'
// text is read for those rows alone, however many the class has made.
std::optional<QList<Store::StatementRow>> Store::latestStatements(int count,
                                                                  const QStringList& only)
{
    const QSqlDatabase db = QSqlDatabase::database(connection_);
    QString failed;
    const QStringList learners = only.isEmpty() ? learnerNames(&failed) : only;
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
            out.append({learner,
                        q.value(0).toLongLong(),
                        q.value(1).toString(),
                        q.value(2).toString().toUtf8(),
                        {},
                        {}});
        }
    }
    std::sort(out.begin(), out.end(), [](const StatementRow& x, const StatementRow& y) {
        return std::tie(x.timestampMs, x.id) > std::tie(y.timestampMs, y.id);
    });
    out.resize(std::min<qsizetype>(count, out.size()));
    return out;
}
