#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <mutex>
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
    // Every learner's, by learner and time.
    QList<QByteArray> allStatements();

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

    // One learner's session as stored: its value, how many actions it has
    // taken, and the last action's key with the reply it was given.
    struct LearnerState {
        qint64 seq = 0;
        QByteArray value;
        QByteArray lastKey;
        QByteArray lastReply;
    };
    // A learner's action is one transaction: begin() takes the write lock
    // at once (so a busy store is waited for, not failed part way), and
    // any failure until commit() makes commit() fail and roll back.
    QString begin();
    QString commit();
    void rollback();
    bool inTransaction() const { return inTransaction_; }
    // How many statements have failed on this connection.
    qint64 failureCount() const { return failures_; }
    // Within a transaction: the learner's stored state, held until commit
    // (a learner without one yet has seq 0 and no value).
    std::optional<LearnerState> learnerState(const QString& learner, QString* failure);
    QString saveLearnerState(const QString& learner, const LearnerState& state);
    // Whether the session is still the learner's, held until commit so that
    // removing the learner waits for the action under way.
    std::optional<bool> sessionHeld(const QByteArray& idHash, const QString& learner, qint64 nowMs);

private:
    QString migrate();
    QString failure(const QString& what) const;
    static QList<QByteArray> jsonLines(QSqlQuery q);

    QString connection_;
    QString where_;
    bool postgres_ = false;
    bool inTransaction_ = false;
    // A statement failed in the transaction under way.
    mutable bool failedInTransaction_ = false;
    mutable qint64 failures_ = 0;
    // SQLite writers of this process queue here rather than in SQLite's
    // busy handler, which sleeps in steps of up to 100 ms.
    std::unique_lock<std::mutex> writeTurn_;
};
