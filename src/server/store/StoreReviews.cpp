// The learners' review states in the store: a row per learner and problem
// with its card, and a row per learner with the answers set aside and how
// many statements the state has taken in.
#include "server/store/Store.h"

#include <QSqlError>
#include <QVariant>

namespace
{

const QString Columns = QStringLiteral(
    "problem_id, series, problem_hash, heading, stability, difficulty, reps, card_review_ms,"
    " interval_days, last_review_ms, due_day");

ScheduledProblem problemOf(const QSqlQuery& q)
{
    ScheduledProblem p;
    p.problemId = q.value(0).toString();
    p.series = q.value(1).toString();
    p.problemHash = q.value(2).toString();
    p.heading = q.value(3).toString();
    p.card.stability = q.value(4).toDouble();
    p.card.difficulty = q.value(5).toDouble();
    p.card.reps = q.value(6).toInt();
    p.card.lastReviewMs = q.value(7).toLongLong();
    p.card.intervalDays = q.value(8).toInt();
    p.lastReviewMs = q.value(9).toLongLong();
    p.dueDay = QDate::fromJulianDay(q.value(10).toLongLong());
    return p;
}

} // namespace

// Asked at every check, as the counts and rows written after it: prepared
// once per connection.
std::optional<Store::Reviews> Store::reviews(const QString& learner, const QString& problemId)
{
    QSqlQuery& counts = reused(QStringLiteral("SELECT answers, before_last_review, ahead_of_reading"
                                              " FROM review_counts WHERE learner = ?"),
                               {learner});
    if (!read(counts, QStringLiteral("復習の予定を読めません"), nullptr)) {
        return std::nullopt;
    }
    Reviews out;
    const bool counted = counts.next();
    if (counted) {
        out.answers = counts.value(0).toLongLong();
        out.setAside = {counts.value(1).toInt(), counts.value(2).toInt()};
    }
    counts.finish();
    if (!counted) {
        out.answers = -1;
        return out;
    }
    const QString select = QStringLiteral("SELECT %1 FROM reviews WHERE learner = ?").arg(Columns);
    QSqlQuery& q = problemId.isEmpty() ? reused(select, {learner})
                                       : reused(select + QStringLiteral(" AND problem_id = ?"),
                                                {learner, problemId});
    q.setForwardOnly(true);
    if (!read(q, QStringLiteral("復習の予定を読めません"), nullptr)) {
        return std::nullopt;
    }
    while (q.next()) {
        out.problems.append(problemOf(q));
    }
    q.finish();
    return out;
}

qint64 Store::reviewedAnswers(const QString& learner, qint64* parametersVersion)
{
    const bool version = parametersVersion != nullptr && !beforeParameters_;
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           version ? QStringLiteral("SELECT r.answers, COALESCE(p.version, 0)"
                                                    " FROM review_counts r"
                                                    " LEFT JOIN learners l ON l.name = r.learner"
                                                    " LEFT JOIN class_parameters p"
                                                    " ON p.class_id = l.class_id"
                                                    " WHERE r.learner = ?")
                                   : QStringLiteral("SELECT answers, 0 FROM review_counts"
                                                    " WHERE learner = ?"),
                           {learner});
    if (!read(q, QStringLiteral("復習の予定を読めません"), nullptr)) {
        return -2;
    }
    const bool found = q.next();
    if (parametersVersion != nullptr) {
        *parametersVersion = found ? q.value(1).toLongLong() : 0;
    }
    return found ? q.value(0).toLongLong() : -1;
}

QString Store::writeReviewRows(const QString& learner, const QList<ScheduledProblem>& problems)
{
    QSqlQuery& q = reused(
        QStringLiteral("INSERT INTO reviews (learner, %1)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                       " ON CONFLICT (learner, problem_id) DO UPDATE SET"
                       " series = excluded.series, problem_hash = excluded.problem_hash,"
                       " heading = excluded.heading, stability = excluded.stability,"
                       " difficulty = excluded.difficulty, reps = excluded.reps,"
                       " card_review_ms = excluded.card_review_ms,"
                       " interval_days = excluded.interval_days,"
                       " last_review_ms = excluded.last_review_ms, due_day = excluded.due_day")
            .arg(Columns),
        {});
    for (const ScheduledProblem& p : problems) {
        const QVariantList values = {learner,
                                     p.problemId,
                                     p.series,
                                     p.problemHash,
                                     p.heading,
                                     p.card.stability,
                                     p.card.difficulty,
                                     p.card.reps,
                                     p.card.lastReviewMs,
                                     p.card.intervalDays,
                                     p.lastReviewMs,
                                     p.dueDay.toJulianDay()};
        for (int i = 0; i < values.size(); ++i) {
            q.bindValue(i, values.at(i));
        }
        if (!q.exec()) {
            return failure(QStringLiteral("復習の予定を記録できません"), q.lastError().text());
        }
    }
    return {};
}

QString Store::updateReviews(const QString& learner, const Reviews& reviews)
{
    if (QString failed = writeReviewRows(learner, reviews.problems); !failed.isEmpty()) {
        return failed;
    }
    QSqlQuery& q = reused(
        QStringLiteral("INSERT INTO review_counts (learner, answers, before_last_review,"
                       " ahead_of_reading) VALUES (?, ?, ?, ?) ON CONFLICT (learner) DO UPDATE SET"
                       " answers = excluded.answers,"
                       " before_last_review = excluded.before_last_review,"
                       " ahead_of_reading = excluded.ahead_of_reading"),
        {learner, reviews.answers, reviews.setAside.beforeLastReview,
         reviews.setAside.aheadOfReading});
    return q.exec() ? QString()
                    : failure(QStringLiteral("復習の予定を記録できません"), q.lastError().text());
}

QString Store::saveReviews(const QString& learner, const Reviews& reviews)
{
    // In one transaction of its own unless the caller holds one; the counts
    // row goes last all the same, so that a save cut short is done again.
    const bool own = !inTransaction_;
    if (QString failed = own ? begin() : QString(); !failed.isEmpty()) {
        return failed;
    }
    QString failed;
    for (const char* table : {"review_counts", "reviews"}) {
        QSqlQuery q =
            prepared(QSqlDatabase::database(connection_),
                     QStringLiteral("DELETE FROM %1 WHERE learner = ?").arg(QLatin1String(table)),
                     {learner});
        if (failed.isEmpty() && !q.exec()) {
            failed = failure(QStringLiteral("復習の予定を記録できません"), q.lastError().text());
        }
    }
    if (failed.isEmpty()) {
        failed = updateReviews(learner, reviews);
    }
    if (own && failed.isEmpty()) {
        return commit();
    }
    if (own) {
        rollback();
    }
    return failed;
}

QString Store::statementsState()
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT COUNT(*), MAX(timestamp_ms),"
                                          " SUM(timestamp_ms % 1000003) FROM statements"),
                           {});
    if (!read(q, QStringLiteral("回答の記録を読めません"), nullptr) || !q.next()) {
        return {};
    }
    return QStringLiteral("%1 %2 %3")
        .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString());
}

// As bytes: as text it would be made UTF-16 and back.
QString Store::jsonAsBytes() const
{
    return sqlite_ ? QStringLiteral("CAST(json AS BLOB)")
                   : QStringLiteral("convert_to(json, 'UTF8')");
}

namespace
{

// A row of eachStatementOf's query: with `kept`, the problem id and the
// kept answer, or the JSON where none is kept.
void readRow(const QSqlQuery& q, bool kept, Store::StatementRow* row)
{
    row->timestampMs = q.value(0).toLongLong();
    row->id = q.value(1).toString();
    if (!kept) {
        row->json = q.value(2).toByteArray();
        return;
    }
    row->problemId = q.value(2).toString();
    const QVariant success = q.value(3);
    row->kept = success.isNull()
                    ? std::nullopt
                    : std::optional<Store::KeptAnswer>(Store::KeptAnswer{
                          success.toInt() != 0, q.value(4).toInt(), q.value(5).toLongLong()});
    row->json = row->kept ? QByteArray() : q.value(6).toByteArray();
}

} // namespace

bool Store::eachStatementOf(const QStringList& learners, qint64 fromMs, qint64 toMs,
                            const std::function<void(const StatementRow&)>& take, bool kept)
{
    const QString json = jsonAsBytes();
    // A store read as it is from before the columns has none kept.
    const QString columns = !kept ? json
                            : beforeKept_
                                ? QStringLiteral("problem_id, NULL, NULL, NULL, ") + json
                                : QStringLiteral("problem_id, success, attempt, duration_ms,"
                                                 " CASE WHEN success IS NULL THEN %1 END")
                                      .arg(json);
    QSqlQuery q(QSqlDatabase::database(connection_));
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT timestamp_ms, id, %1 FROM statements WHERE learner = ?"
                                  " AND timestamp_ms >= ? AND timestamp_ms < ?")
                       .arg(columns))) {
        failure(QStringLiteral("回答の記録を読めません"), q.lastError().text());
        return false;
    }
    StatementRow row;
    for (const QString& learner : learners) {
        q.bindValue(0, learner);
        q.bindValue(1, fromMs);
        q.bindValue(2, toMs);
        if (!read(q, QStringLiteral("回答の記録を読めません"), nullptr)) {
            return false;
        }
        row.learner = learner;
        while (q.next()) {
            readRow(q, kept, &row);
            take(row);
        }
        if (q.lastError().type() != QSqlError::NoError) {
            return false;
        }
        q.finish();
    }
    return true;
}

bool Store::eachStatement(const std::function<void(const StatementRow&)>& take)
{
    const QString json = jsonAsBytes();
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("SELECT learner, timestamp_ms, id, %1 FROM statements").arg(json), {});
    q.setForwardOnly(true);
    if (!read(q, QStringLiteral("回答の記録を読めません"), nullptr)) {
        return false;
    }
    StatementRow row;
    while (q.next()) {
        row.learner = q.value(0).toString();
        row.timestampMs = q.value(1).toLongLong();
        row.id = q.value(2).toString();
        row.json = q.value(3).toByteArray();
        take(row);
    }
    return q.lastError().type() == QSqlError::NoError;
}
