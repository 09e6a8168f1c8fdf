// みんなで解く: a class's rounds and each learner's board in them.

#include "server/store/Store.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QUuid>
#include <QVariant>

namespace
{

const QString Answering = QStringLiteral("answering");
const QString Revealed = QStringLiteral("revealed");

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString placementsText(const QList<int>& placements)
{
    QJsonArray a;
    for (const int frame : placements) {
        a.append(frame);
    }
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

QList<int> placementsOf(const QString& text)
{
    QList<int> placements;
    for (const QJsonValue v : QJsonDocument::fromJson(text.toUtf8()).array()) {
        placements.append(v.toInt(-1));
    }
    return placements;
}

} // namespace

std::optional<Store::Round> Store::roundRow(const QString& where, const QVariant& value,
                                            QString* failure)
{
    if (beforeRounds_) {
        return Round{};
    }
    // Asked with every action of every learner: prepared once.
    QSqlQuery& q = reused(QStringLiteral("SELECT r.id, r.class_id, r.series, r.problem, r.state,"
                                         " r.version FROM %1 AND r.ended_ms IS NULL")
                              .arg(where),
                          {value});
    if (!read(q, QStringLiteral("みんなで解く問題を読めません"), failure)) {
        return std::nullopt;
    }
    const Round round = q.next() ? roundAt(q, 0) : Round{};
    q.finish();
    return round;
}

Store::Round Store::roundAt(const QSqlQuery& q, int first)
{
    if (q.isNull(first)) {
        return {};
    }
    return {q.value(first).toString(),
            q.value(first + 1).toLongLong(),
            q.value(first + 2).toString(),
            q.value(first + 3).toInt(),
            q.value(first + 4).toString() == Revealed,
            q.value(first + 5).toLongLong()};
}

std::optional<Store::Round> Store::openRound(qint64 classId, QString* failure)
{
    return roundRow(QStringLiteral("rounds r WHERE r.class_id = ?"), classId, failure);
}

std::optional<Store::Round> Store::learnerRound(const QString& learner, QString* failure)
{
    return roundRow(QStringLiteral("learners l JOIN rounds r ON r.class_id = l.class_id"
                                   " WHERE l.name = ?"),
                    learner, failure);
}

QString Store::startRound(qint64 classId, const QString& series, int problem, QString* id)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("みんなで解く問題を始められません"), db.lastError().text());
    }
    const qint64 at = nowMs();
    *id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlQuery end = prepared(
        db,
        QStringLiteral("UPDATE rounds SET ended_ms = ? WHERE class_id = ? AND ended_ms IS NULL"),
        {at, classId});
    // The version goes on from the round before, so that a page that saw
    // that one sees this one is another.
    QSqlQuery add = prepared(
        db,
        QStringLiteral("INSERT INTO rounds (id, class_id, series, problem, state, version,"
                       " started_ms) SELECT ?, ?, ?, ?, ?, COALESCE(MAX(version), 0) + 1, ?"
                       " FROM rounds WHERE class_id = ?"),
        {*id, classId, series, problem, Answering, at, classId});
    if (!end.exec() || !add.exec()) {
        const QString why = (add.lastError().isValid() ? add : end).lastError().text();
        db.rollback();
        return failure(QStringLiteral("みんなで解く問題を始められません"), why);
    }
    return db.commit()
               ? QString()
               : failure(QStringLiteral("みんなで解く問題を始められません"), db.lastError().text());
}

QString Store::stepRound(const QString& id, int problem, bool revealed)
{
    QSqlQuery q =
        prepared(QSqlDatabase::database(connection_),
                 QStringLiteral("UPDATE rounds SET problem = ?, state = ?,"
                                " version = version + 1 WHERE id = ? AND ended_ms IS NULL"),
                 {problem, revealed ? Revealed : Answering, id});
    if (!q.exec()) {
        return failure(QStringLiteral("みんなで解く問題を進められません"), q.lastError().text());
    }
    return q.numRowsAffected() == 1 ? QString() : QStringLiteral("この問題はもう終わっています");
}

QString Store::endRound(const QString& id)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("UPDATE rounds SET ended_ms = ?, version = version + 1"
                                          " WHERE id = ? AND ended_ms IS NULL"),
                           {nowMs(), id});
    return q.exec()
               ? QString()
               : failure(QStringLiteral("みんなで解く問題を終えられません"), q.lastError().text());
}

QString Store::saveRoundBoard(const QString& roundId, int problem, const RoundBoard& board)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("INSERT INTO round_boards (round_id, learner, problem, placements, answered,"
                       " session, moves) VALUES (?, ?, ?, ?, ?, ?, 1) ON CONFLICT (round_id,"
                       " learner, problem) DO UPDATE SET placements = excluded.placements,"
                       " answered = (round_boards.answered OR excluded.answered),"
                       " session = excluded.session,"
                       " moves = round_boards.moves + 1"),
        {roundId, board.learner, problem, placementsText(board.placements), board.answered,
         QString::fromUtf8(board.session)});
    return q.exec() ? QString()
                    : failure(QStringLiteral("みんなで解く問題の答えを記録できません"),
                              q.lastError().text());
}

std::optional<QList<Store::RoundBoard>> Store::roundBoards(const QString& roundId, int problem,
                                                           const QString& learner)
{
    if (beforeRounds_) {
        return QList<RoundBoard>{};
    }
    QString sql = QStringLiteral("SELECT learner, placements, answered, session FROM round_boards"
                                 " WHERE round_id = ? AND problem = ?");
    QVariantList values{roundId, problem};
    if (!learner.isEmpty()) {
        sql += QStringLiteral(" AND learner = ?");
        values.append(learner);
    }
    QSqlQuery q = prepared(QSqlDatabase::database(connection_), sql, values);
    if (!read(q, QStringLiteral("みんなで解く問題の答えを読めません"), nullptr)) {
        return std::nullopt;
    }
    QList<RoundBoard> boards;
    while (q.next()) {
        boards.append({q.value(0).toString(), placementsOf(q.value(1).toString()),
                       q.value(2).toBool(), q.value(3).toString().toUtf8()});
    }
    return boards;
}

std::optional<qint64> Store::roundMoves(const QString& roundId, int problem)
{
    if (beforeRounds_) {
        return 0;
    }
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT COALESCE(SUM(moves), 0) FROM round_boards"
                                          " WHERE round_id = ? AND problem = ?"),
                           {roundId, problem});
    if (!read(q, QStringLiteral("みんなで解く問題の答えを読めません"), nullptr)) {
        return std::nullopt;
    }
    return q.next() ? q.value(0).toLongLong() : 0;
}

std::optional<QList<Store::PastRound>> Store::classRounds(qint64 classId)
{
    if (beforeRounds_) {
        return QList<PastRound>{};
    }
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT id, series, started_ms, ended_ms FROM rounds"
                                          " WHERE class_id = ? ORDER BY started_ms DESC"),
                           {classId});
    if (!read(q, QStringLiteral("みんなで解いた問題を読めません"), nullptr)) {
        return std::nullopt;
    }
    QList<PastRound> rounds;
    while (q.next()) {
        rounds.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong(),
                       q.value(3).isNull() ? 0 : q.value(3).toLongLong()});
    }
    return rounds;
}
