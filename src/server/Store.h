#pragma once

#include "record/Schedule.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The classroom's store: learners and their sign-in code hashes, sessions,
// marks and answer statements. A SQLite file in the work folder by default,
// or a PostgreSQL database that several servers may share. The schema is
// made and brought up to date on opening.
class Store
{
public:
    Store() = default;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    ~Store();

    // `url` empty: DIR/velmorant.sqlite; else postgresql://user@host:port/db
    // or postgresql://user@/db?host=/socket/folder. Returns "" or the reason.
    QString open(const QString& workDir, const QString& url);
    QString where() const { return where_; }

    struct Learner {
        QString name;
        int bucket = 0;
        QByteArray salt;
        QByteArray codeHash;
    };
    // "" on success, else the reason (a learner of that name exists...).
    QString addLearner(const Learner& learner);
    QString removeLearner(const QString& name);
    QStringList learnerNames();
    QList<Learner> learnersInBucket(int bucket);

    QString addSession(const QByteArray& idHash, const QString& learner, qint64 expiresMs);
    // The learner of an unexpired session, if any.
    std::optional<QString> sessionLearner(const QByteArray& idHash, qint64 nowMs);
    void removeSession(const QByteArray& idHash);

    struct Mark {
        qint64 position = 0;
        QStringList record; // the five lines of the marks file
    };
    QList<Mark> marks(const QString& learner);
    QString appendMark(const QString& learner, const QStringList& record);
    QString removeMarks(const QString& learner, const QList<qint64>& positions);

    QString appendStatement(const QString& learner, const QString& id, const QString& problemId,
                            qint64 timestampMs, const QByteArray& json);
    QList<QByteArray> statements(const QString& learner);

    // Where a statement stands with the learning record store.
    enum class LrsState { Unsent = 0, Accepted = 1, Refused = 2 };
    // The oldest `count` statements not yet sent.
    QList<QByteArray> unsentStatements(int count);
    QString setLrsState(const QStringList& ids, LrsState state);

    // A new code for a learner, ending their sessions; "" or the reason.
    QString setLearnerCode(const Learner& learner);

    // The teacher's password: its salt and hash, one at a time.
    QString setTeacherPassword(const QByteArray& salt, const QByteArray& hash);
    std::optional<QPair<QByteArray, QByteArray>> teacherPassword();
    QString addTeacherSession(const QByteArray& idHash, qint64 expiresMs);
    bool teacherSession(const QByteArray& idHash, qint64 nowMs);
    void removeTeacherSession(const QByteArray& idHash);

    // Each learner's review state, kept up to date with their statements
    // (StoreReviews.cpp). `answers` counts the statements taken in: it
    // changes with each one, so a reader sees whether it has the latest.
    struct Reviews {
        QList<ScheduledProblem> problems;
        Schedule::SetAside setAside;
        qint64 answers = 0;
    };
    // The learner's kept state, or only `problemId`'s row of it when given;
    // `answers` -1 when it was never built; none when it cannot be read.
    std::optional<Reviews> reviews(const QString& learner, const QString& problemId = {});
    // Its `answers` alone: -1 when never built, -2 when unreadable.
    qint64 reviewedAnswers(const QString& learner);
    // Saves the whole state, in place of any kept before.
    QString saveReviews(const QString& learner, const Reviews& reviews);
    // Saves the rows of `reviews.problems` and its counts, the rest left.
    // Opens no transaction: an answer's caller holds one for the statement
    // and this together.
    QString updateReviews(const QString& learner, const Reviews& reviews);
    // What changes whenever a statement is added or removed; "" when it
    // cannot be read.
    QString statementsState();
    // Every learner's statements as they lie, in no order (a sort of them
    // all would be the database's slowest work), each given to `take` and
    // let go: the report holds what it reads from them, not their text.
    struct StatementRow {
        QString learner;
        qint64 timestampMs = 0;
        QString id;
        QByteArray json; // UTF-8
    };
    bool eachStatement(const std::function<void(const StatementRow&)>& take);

private:
    static QSqlQuery prepared(const QSqlDatabase& db, const QString& sql,
                              const QVariantList& values);
    QString writeReviewRows(const QString& learner, const QList<ScheduledProblem>& problems);
    QString migrate();
    QString failure(const QString& what) const;
    static QList<QByteArray> jsonLines(QSqlQuery q);

    QString connection_;
    QString where_;
};
