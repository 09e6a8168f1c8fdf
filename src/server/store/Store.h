#pragma once

#include "record/Schedule.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class FastStatementReader;

// The classroom's store: learners and their sign-in code hashes, sessions,
// marks and answer statements. A SQLite file in the work folder by default,
// or a PostgreSQL database that several servers may share. The schema is
// made and brought up to date on opening.
class Store
{
public:
    Store();
    // A request's wait for the write lock, at most.
    static constexpr int ServerWriteWaitMs = 1000;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    ~Store();

    struct Options {
        // Opens without writing anything, the schema's update included: a
        // store of an older version is read as it is.
        bool readOnly = false;
        // Reads the whole store (the class report): no time limit on a
        // statement, which a learner's request has.
        bool longReads = false;
        // How long a write waits while another program holds the store's
        // write lock (an administrator's sqlite3, a backup): a server's
        // request waits about a second and is answered 503, a command on
        // the command line longer. Reads never wait for a writer.
        int writeWaitMs = 5000;
        // SQLite: the group that may read the file too (0640), else the
        // owner alone (0600).
        QString group;
    };
    // `url` empty: DIR/velmorant.sqlite; else postgresql://user@host:port/db
    // or postgresql://user@/db?host=/socket/folder. Returns "" or the reason.
    QString open(const QString& workDir, const QString& url, const Options& options);
    QString open(const QString& workDir, const QString& url) { return open(workDir, url, {}); }
    // Another connection to the store `other` opened, as it was opened.
    QString openLike(const Store& other)
    {
        return open(other.workDir_, other.url_, other.options_);
    }
    // Where the store is: for the log and the command line, never for a
    // learner's page.
    QString where() const { return where_; }

    // Methods that change the store return "" or the reason. Methods that
    // read set `failure` (when given) to "" or why the store could not be
    // read, so that "none" is told apart from "the store failed". Reasons
    // never name the store's place; the log has it with the details.

    // ---- Learners and their sign-in codes (StoreLearners.cpp) ----

    // "" on success, else the reason (a learner of that name exists...).
    QString addLearner(const QString& name, const QString& code);
    // A new code for a learner, ending their sessions.
    QString setLearnerCode(const QString& name, const QString& code);
    // The learner and everything kept for them, at once.
    QString removeLearner(const QString& name);
    // Every learner's key, by key.
    QStringList learnerNames(QString* failure = nullptr);
    // Whose code this is. Costs one hash, whatever codes exist (but see
    // oldCodeLearner).
    std::optional<QString> learnerWithCode(const QString& code, QString* failure = nullptr);

    // ---- Classes and their learners (StoreClasses.cpp) ----

    // A learner is a class, a number (出席番号) and a name as shown; their
    // key, which every other table names them by, is "class/name" (a
    // learner from before classes keeps their name as key). Keys never
    // reach a page but as ids in its requests.
    struct SchoolClass {
        qint64 id = 0;
        QString name;
        int learners = 0;
    };
    // In the school's order (position, then name).
    std::optional<QList<SchoolClass>> classes(QString* failure = nullptr);
    struct Learner {
        QString key;
        qint64 classId = 0;
        QString className;
        int number = 0; // 0: none
        QString name;
    };
    // Of one class (0: of every class), by class, 番号 (none last), name.
    std::optional<QList<Learner>> learners(qint64 classId = 0, QString* failure = nullptr);
    // The learner of that key, if there is one.
    std::optional<Learner> learner(const QString& key, QString* failure = nullptr);
    struct NewLearner {
        QString className;
        int number = 0;
        QString name;
        QString code;
        QString key; // empty: "class/name"
    };
    // All of them or none, their classes made as needed; "" or the reason,
    // naming the learner.
    QString addLearners(const QList<NewLearner>& added);
    // The class a learner given without one joins: the store's one class,
    // or one named after the folder while there is none; none when the
    // store has several (the reason in `failure`).
    std::optional<QString> soleClass(QString* failure);
    // A series as one class sees it: hidden from it, or given a 期限. By
    // default (no row) a class sees every series of the catalogue, with
    // no 期限.
    struct SeriesChoice {
        QString file;
        bool hidden = false;
        QDate due; // none: no 期限
    };
    // The rows of the class (or of the learner's class), by file.
    std::optional<QList<SeriesChoice>> classSeries(qint64 classId);
    std::optional<QList<SeriesChoice>> learnerSeries(const QString& learner);
    // In place of the row before; a series shown with no 期限 keeps none.
    QString setSeriesChoice(qint64 classId, const SeriesChoice& choice);
    // A class of no learners yet, at the end of the school's order; refused
    // when one of that name exists.
    QString addClass(const QString& name);
    // The class's learners and everything kept for them, then the class;
    // `removed` counts the learners.
    QString removeClass(const QString& name, int* removed);

    // ---- Each class's review parameters (StoreClassParameters.cpp) ----

    // A class's parameters as kept (ClassParameters' JSON; the defaults
    // when none), the report of its last fit (empty when none) and how many
    // times they have changed.
    struct KeptParameters {
        QByteArray kept;
        QByteArray report;
        qint64 version = 0;
    };
    std::optional<KeptParameters> classParameters(qint64 classId, QString* failure = nullptr);
    // Of the learner's class.
    std::optional<KeptParameters> learnerParameters(const QString& learner,
                                                    QString* failure = nullptr);
    // Within the caller's transaction: replaces the class's row, its
    // version counted up.
    QString saveClassParameters(qint64 classId, const QByteArray& kept, const QByteArray& report);

    // ---- みんなで解く: a class's round (StoreRounds.cpp) ----

    // One problem of a series put to a whole class by its teacher.
    struct Round {
        QString id; // a UUID, the statements' context.registration
        qint64 classId = 0;
        QString series;
        int problem = 1;
        bool revealed = false;
        qint64 version = 0; // counts the teacher's steps
    };
    // The class's open round (or the learner's class's); an empty id when
    // there is none, none when the store failed.
    std::optional<Round> openRound(qint64 classId, QString* failure = nullptr);
    std::optional<Round> learnerRound(const QString& learner, QString* failure = nullptr);
    // A new round of the class, ending the one open before.
    QString startRound(qint64 classId, const QString& series, int problem, QString* id);
    // The round on another problem (its boards on it start empty), or its
    // answers shown.
    QString stepRound(const QString& id, int problem, bool revealed);
    QString endRound(const QString& id);
    // A learner's board in a round: the frame of each term (-1: none),
    // whether they have checked it (once saved checked, it stays so), and
    // their session of the round.
    struct RoundBoard {
        QString learner;
        QList<int> placements;
        bool answered = false;
        QByteArray session;
    };
    QString saveRoundBoard(const QString& roundId, int problem, const RoundBoard& board);
    // Of every learner (`learner` empty) or of one.
    std::optional<QList<RoundBoard>> roundBoards(const QString& roundId, int problem,
                                                 const QString& learner = {});
    // The class's rounds, the latest first: each with its start and end
    // (0 while open).
    struct PastRound {
        QString id;
        QString series;
        qint64 startedMs = 0;
        qint64 endedMs = 0;
    };
    std::optional<QList<PastRound>> classRounds(qint64 classId);
    // How many times the boards of the round's problem have changed.
    std::optional<qint64> roundMoves(const QString& roundId, int problem);

    // ---- Sessions, and who is signed in (StoreSessions.cpp) ----

    QString addSession(const QByteArray& idHash, const QString& learner, qint64 expiresMs);
    // The learner of an unexpired session, if any.
    std::optional<QString> sessionLearner(const QByteArray& idHash, qint64 nowMs,
                                          QString* failure = nullptr);
    void removeSession(const QByteArray& idHash);
    // Every session of the learner ended (the teacher signs them out): how
    // many there were, or none when the store failed.
    std::optional<int> removeSessions(const QString& learner);
    // Within an action's transaction: the session lasts until `expiresMs`.
    QString extendSession(const QByteArray& idHash, qint64 expiresMs);
    // Sessions past their time, ended now: each one's learner (one entry a
    // session), for the log. A session another server ends first is not
    // among them.
    std::optional<QStringList> endExpiredSessions(qint64 nowMs);
    // The learners signed in at `nowMs`: each one's latest session's end
    // and their stored state's value (empty when none), by name.
    struct SignedIn {
        QString learner;
        qint64 expiresMs = 0;
        QByteArray value;
    };
    std::optional<QList<SignedIn>> signedIn(qint64 nowMs);

    // ---- Marks and answer statements (StoreRecords.cpp) ----

    struct Mark {
        qint64 position = 0;
        QStringList record; // the five lines of the marks file
    };
    QList<Mark> marks(const QString& learner, QString* failure = nullptr);
    QString appendMark(const QString& learner, const QStringList& record);
    QString removeMarks(const QString& learner, const QList<qint64>& positions);

    // What the grade book reads of an answer, kept in columns beside its
    // statement: the statement's own success, attempt and duration, kept
    // only where it reads as an answer of its row's learner, problem (by
    // the key it has now) and time. The statement stays the record.
    struct KeptAnswer {
        bool success = false;
        int attempt = 1;
        qint64 durationMs = 0;
    };
    // The statement with its kept answer, when it has one.
    QString appendStatement(const QString& learner, const QString& id, const QString& problemId,
                            qint64 timestampMs, const QByteArray& json);
    QList<QByteArray> statements(const QString& learner, QString* failure = nullptr);
    // The latest `count` statements of `learners` (keys; every learner's
    // when none are given), newest first (StatementRow below).
    struct StatementRow;
    std::optional<QList<StatementRow>> latestStatements(int count,
                                                        const QStringList& learners = {});

    // Where a statement stands with the learning record store.
    enum class LrsState { Unsent = 0, Accepted = 1, Refused = 2 };
    // The oldest `count` statements not yet sent.
    QList<QByteArray> unsentStatements(int count, QString* failure = nullptr);
    QString setLrsState(const QStringList& ids, LrsState state);

    // ---- Teachers (StoreTeacher.cpp) and the store's secrets
    // (StoreSecrets.cpp) ----

    // The administrator, who sees every class: the teacher of a store from
    // before there were several.
    static const QString AdminName;
    // A teacher's password (salt and hash), set anew or for a new teacher;
    // a new password ends the teacher's sessions.
    QString setTeacherPassword(const QString& teacher, const QByteArray& salt,
                               const QByteArray& hash, bool admin);
    std::optional<QPair<QByteArray, QByteArray>> teacherPassword(const QString& teacher,
                                                                 QString* failure = nullptr);
    struct Teacher {
        QString name;
        bool admin = false;
        QList<qint64> classIds; // the classes given them (the admin sees all)
    };
    std::optional<QList<Teacher>> teachers(QString* failure = nullptr);
    std::optional<Teacher> teacher(const QString& name, QString* failure = nullptr);
    QString removeTeacher(const QString& name);
    // Why `name` cannot be a new teacher's (管理者, or a teacher of that
    // name is registered); "" when it can.
    QString newTeacherRefused(const QString& name);
    // In place of the classes given before.
    QString setTeacherClasses(const QString& name, const QList<qint64>& classIds);
    // The secret that signs device cookies, made on first use.
    QByteArray deviceKey(QString* failure);
    QString addTeacherSession(const QByteArray& idHash, const QString& teacher, qint64 expiresMs);
    // The teacher of an unexpired session, if any.
    std::optional<QString> teacherSession(const QByteArray& idHash, qint64 nowMs,
                                          QString* failure = nullptr);
    void removeTeacherSession(const QByteArray& idHash);

    // ---- A learner's action: its transaction and stored state
    // (StoreStates.cpp) ----

    // One learner's session as stored: its value, how many actions it has
    // taken, and the last action's key; the reply it was given where the
    // value cannot make it again (in a class round the board is the
    // round's), else empty.
    struct LearnerState {
        qint64 seq = 0;
        QByteArray value;
        QByteArray lastKey;
        QByteArray lastReply;
    };
    // A learner's action is one transaction: begin() takes the write lock
    // at once (so a busy store is waited for, not failed part way), and
    // any failure until commit() makes commit() fail and roll back. It
    // fails after writeWaitMs, at once while another writer of this process
    // is already waiting for a lock that another program holds.
    QString begin();
    QString commit();
    void rollback();
    bool inTransaction() const { return inTransaction_; }
    // One statement of a tool that fills a store (the bench's made-up
    // school), within the transaction held: "" or the reason.
    QString execute(const QString& sql, const QVariantList& values);
    // How many statements have failed on this connection.
    qint64 failureCount() const { return failures_; }
    QString saveLearnerState(const QString& learner, const LearnerState& state);
    // What a learner's action or look starts from, read at once: whether
    // the session is still the learner's, their stored state (seq 0 and no
    // value before their first action), the round open for their class (an
    // empty id when none), and how many of their statements are stamped
    // after `sinceMs`, by every server sharing the store. Within a
    // transaction the learner is held until commit, so that their other
    // actions, by any server, and their removal wait for this one; outside
    // one, a plain read that waits for no writer.
    struct Start {
        bool held = false;
        LearnerState state;
        Round round;
        qint64 recentStatements = 0;
    };
    std::optional<Start> start(const QByteArray& idHash, const QString& learner, qint64 nowMs,
                               qint64 sinceMs, QString* failure);

    // ---- Review state, and every statement for the report
    // (StoreReviews.cpp) ----

    // Each learner's review state, kept up to date with their statements. `answers` counts the
    // statements taken in: it changes with each one, so a reader sees whether it has the latest.
    struct Reviews {
        QList<ScheduledProblem> problems;
        Schedule::SetAside setAside;
        qint64 answers = 0;
    };
    // The learner's kept state, or only `problemId`'s row of it when given;
    // `answers` -1 when it was never built; none when it cannot be read.
    std::optional<Reviews> reviews(const QString& learner, const QString& problemId = {});
    // Its `answers` alone: -1 when never built, -2 when unreadable; with
    // `parametersVersion`, the version of the learner's class's parameters
    // too (0 for none).
    qint64 reviewedAnswers(const QString& learner, qint64* parametersVersion = nullptr);
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
        QByteArray json; // UTF-8; empty when `kept` is read instead
        // Read by eachStatementOf's `kept` alone.
        QString problemId;
        std::optional<KeptAnswer> kept;
    };
    bool eachStatement(const std::function<void(const StatementRow&)>& take);
    // The statements of `learners` (keys) stamped from `fromMs` to before
    // `toMs`, learner by learner, in no set order within a learner: read
    // through the index on (learner, timestamp), so a class's report reads
    // only its own (and sorts them itself, as for eachStatement). With
    // `kept`, each row's problem id and kept answer, its JSON only where it
    // has none.
    bool eachStatementOf(const QStringList& learners, qint64 fromMs, qint64 toMs,
                         const std::function<void(const StatementRow&)>& take, bool kept = false);

private:
    static QSqlQuery prepared(const QSqlDatabase& db, const QString& sql,
                              const QVariantList& values);
    std::optional<Round> roundRow(const QString& where, const QVariant& value, QString* failure);
    // The round in the six columns from `first` on; none when they are null.
    static Round roundAt(const QSqlQuery& q, int first);
    std::optional<KeptParameters> parametersRow(const QString& join, const QVariant& value,
                                                QString* failure);
    // A statement of a learner's action, prepared once on this connection
    // and bound anew each time: parsing it again took a tenth of an
    // answer's time. The caller finishes it once read, so that no read
    // stays open between actions.
    QSqlQuery& reused(const QString& sql, const QVariantList& values);
    QString writeReviewRows(const QString& learner, const QList<ScheduledProblem>& problems);
    QString openSqlite(const QString& workDir, const Options& options);
    QString openPostgres(const QString& url, const Options& options);
    QString migrate();
    QString migrateLocked();
    QString migrateToClasses();
    // The kept answers of the statements stored before they were kept.
    QString keepAnswers();
    // What to keep of a statement in its row: none when it does not read
    // as an answer of that learner, problem and time.
    std::optional<KeptAnswer> keptOf(const QString& learner, const QString& problemId,
                                     qint64 timestampMs, const QByteArray& json);
    // The statement's text as UTF-8 bytes in a SELECT.
    QString jsonAsBytes() const;
    // The class's id, made at the end of the school's order if `make`;
    // 0 when there is none, -1 when the store failed.
    qint64 classId(const QString& name, bool make);
    QString insertLearner(const NewLearner& learner, qint64 classId, const QString& codeKey);
    int schemaVersion(QString* failure);
    // Takes the write lock now, so that a busy store is waited for
    // (SQLite's busy_timeout, PostgreSQL's lock_timeout) instead of failing
    // when a read turns into a write.
    bool beginWrite(QSqlDatabase& db);
    QString openFailure(const QString& what) const;
    // Logs what failed where and why; returns `what` alone.
    QString failure(const QString& what, const QString& detail) const;
    // Runs a query that reads, setting `failure`.
    bool read(QSqlQuery& q, const QString& what, QString* failure) const;
    QList<QByteArray> jsonLines(QSqlQuery q, QString* failure) const;
    // Runs an insert of a learner's row; "", or why it failed, or that
    // there is no such learner (any more).
    QString insertForLearner(QSqlQuery& q, const QString& learner, const QString& what) const;
    // The end of such an insert: " WHERE" the learner (a value) is registered.
    static QString ifRegistered();
    QByteArray codeSalt(bool make, QString* failure);
    QByteArray secret(const QString& table, const QString& column, const QByteArray& fresh,
                      QString* failure);
    QString codeKey(const QString& code, QString* failure);
    std::optional<QString> oldCodeLearner(const QString& code, QByteArray key, QString* failure);

    QString connection_;
    QString where_;
    QString url_;
    Options options_;
    QString workDir_;
    // Opened read-only before its schema had classes.
    bool beforeClasses_ = false;
    // Opened read-only before its schema had class_parameters.
    bool beforeParameters_ = false;
    // Opened read-only before its schema had rounds.
    bool beforeRounds_ = false;
    // Opened read-only before its statements kept answers.
    bool beforeKept_ = false;
    bool sqlite_ = true;
    bool readOnly_ = false;
    int writeWaitMs_ = 5000;
    // Learners whose code is still hashed with a salt of their own.
    bool oldCodesLeft_ = true;
    bool inTransaction_ = false;
    // A statement failed in the transaction under way.
    mutable bool failedInTransaction_ = false;
    mutable qint64 failures_ = 0;
    // SQLite writers of this process queue here rather than in SQLite's
    // busy handler, which sleeps in steps of up to 100 ms.
    bool takeWriteTurn();
    std::unique_lock<std::timed_mutex> writeTurn_;
    // Once read: it never changes.
    QByteArray codeSalt_;
    // By their SQL; let go before the connection closes.
    QHash<QString, QSqlQuery> reused_;
    QSqlQuery unprepared_; // one whose preparing failed, for its error
    // Reads the statements whose answers are kept; made when first needed.
    std::unique_ptr<FastStatementReader> reader_;
};
