#include "server/store/Store.h"

#include "files/PrivateFile.h"
#include "record/FastStatementReader.h"
#include "server/log/ServerLog.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>
#include <QVariant>

namespace
{

// Each step brings the schema from version i to i + 1; steps are only ever
// added, so an older store is brought forward one step at a time.
const QList<QStringList> Migrations = {
    {
        QStringLiteral("CREATE TABLE learners (name TEXT PRIMARY KEY, bucket INTEGER NOT NULL,"
                       " salt TEXT NOT NULL, code_hash TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX learners_bucket ON learners (bucket)"),
        QStringLiteral("CREATE TABLE sessions (id_hash TEXT PRIMARY KEY, learner TEXT NOT NULL,"
                       " expires_ms BIGINT NOT NULL)"),
        QStringLiteral("CREATE TABLE marks (learner TEXT NOT NULL, position BIGINT NOT NULL,"
                       " record TEXT NOT NULL, PRIMARY KEY (learner, position))"),
        QStringLiteral("CREATE TABLE statements (learner TEXT NOT NULL, id TEXT NOT NULL UNIQUE,"
                       " problem_id TEXT NOT NULL, timestamp_ms BIGINT NOT NULL,"
                       " json TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX statements_learner ON statements (learner, timestamp_ms)"),
    },
    {
        // One teacher password; its sessions apart from the learners', so
        // that neither kind of cookie opens the other's pages.
        QStringLiteral("CREATE TABLE teacher (id INTEGER PRIMARY KEY CHECK (id = 1),"
                       " salt TEXT NOT NULL, password_hash TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE teacher_sessions (id_hash TEXT PRIMARY KEY,"
                       " expires_ms BIGINT NOT NULL)"),
    },
    {
        // What a learning record store has of each statement, so that a
        // restart sends only the rest.
        QStringLiteral("ALTER TABLE statements ADD COLUMN lrs_state INTEGER NOT NULL DEFAULT 0"),
        QStringLiteral("CREATE INDEX statements_lrs ON statements (lrs_state)"),
    },
    {
        // A code is looked up by its hash under one salt of the store's, so
        // that sign-in costs one hash whatever codes exist; nothing
        // unsalted is kept. A learner whose salt is not empty still has a
        // code hashed with a salt of their own until they sign in once.
        QStringLiteral("DROP INDEX learners_bucket"),
        QStringLiteral("ALTER TABLE learners DROP COLUMN bucket"),
        QStringLiteral("CREATE UNIQUE INDEX learners_code ON learners (code_hash)"),
        QStringLiteral("CREATE TABLE code_salt (id INTEGER PRIMARY KEY CHECK (id = 1),"
                       " salt TEXT NOT NULL)"),
    },
    {
        // Each learner's session, so that any server continues it.
        QStringLiteral("CREATE TABLE learner_states (learner TEXT PRIMARY KEY,"
                       " seq BIGINT NOT NULL, value TEXT NOT NULL, last_key TEXT NOT NULL,"
                       " last_reply TEXT NOT NULL)"),
    },
    {
        // Each learner's review state, kept as answers arrive, so that a
        // list view reads a row per problem, not every answer since the
        // first; the counts row also says the state was built at all.
        QStringLiteral("CREATE TABLE reviews (learner TEXT NOT NULL, problem_id TEXT NOT NULL,"
                       " series TEXT NOT NULL, problem_hash TEXT NOT NULL, heading TEXT NOT NULL,"
                       " stability DOUBLE PRECISION NOT NULL, difficulty DOUBLE PRECISION NOT NULL,"
                       " reps INTEGER NOT NULL, card_review_ms BIGINT NOT NULL,"
                       " interval_days INTEGER NOT NULL, last_review_ms BIGINT NOT NULL,"
                       " due_day BIGINT NOT NULL, PRIMARY KEY (learner, problem_id))"),
        QStringLiteral("CREATE TABLE review_counts (learner TEXT PRIMARY KEY,"
                       " answers BIGINT NOT NULL, before_last_review INTEGER NOT NULL,"
                       " ahead_of_reading INTEGER NOT NULL)"),
    },
    {
        // The key of the device cookies, shared by every server on the
        // store so that each takes the others' cookies.
        QStringLiteral("CREATE TABLE device_key (id INTEGER PRIMARY KEY CHECK (id = 1),"
                       " secret TEXT NOT NULL)"),
    },
    // Classes and teachers: Store::migrateToClasses, which moves the rows.
    {},
    {
        // Each class's review parameters (ClassParameters' JSON) and the
        // report of its last fit; `version` counts their changes, so that a
        // learner's session sees its kept review state was made again.
        QStringLiteral("CREATE TABLE class_parameters (class_id INTEGER PRIMARY KEY,"
                       " kept TEXT NOT NULL, report TEXT, version BIGINT NOT NULL)"),
    },
    {
        // みんなで解く: a class's round on one problem at a time, and each
        // learner's board in it. `version` counts the teacher's steps, so
        // that every server sees a step another took; a board's `moves`
        // count its changes, so that the projector sees each. A class has
        // one open round at most.
        QStringLiteral("CREATE TABLE rounds (id TEXT PRIMARY KEY, class_id INTEGER NOT NULL,"
                       " series TEXT NOT NULL, problem INTEGER NOT NULL, state TEXT NOT NULL,"
                       " version BIGINT NOT NULL, started_ms BIGINT NOT NULL, ended_ms BIGINT)"),
        QStringLiteral("CREATE UNIQUE INDEX rounds_open ON rounds (class_id)"
                       " WHERE ended_ms IS NULL"),
        QStringLiteral("CREATE TABLE round_boards (round_id TEXT NOT NULL, learner TEXT NOT NULL,"
                       " problem INTEGER NOT NULL, placements TEXT NOT NULL,"
                       " answered BOOLEAN NOT NULL, session TEXT NOT NULL,"
                       " moves BIGINT NOT NULL, PRIMARY KEY (round_id, learner, problem))"),
    },
    {
        // What the grade book reads of each answer (Store::KeptAnswer),
        // so that a school's grade book parses no statement; NULL where
        // none is kept. Store::keepAnswers fills the rows stored before.
        QStringLiteral("ALTER TABLE statements ADD COLUMN success INTEGER"),
        QStringLiteral("ALTER TABLE statements ADD COLUMN attempt INTEGER"),
        QStringLiteral("ALTER TABLE statements ADD COLUMN duration_ms BIGINT"),
    },
};

// The step that made class_parameters.
constexpr qsizetype ParametersStep = 8;

// The step that made rounds.
constexpr qsizetype RoundsStep = 9;

// The step Store::migrateToClasses makes.
constexpr qsizetype ClassesStep = 7;

// The step that made the statements' kept answers.
constexpr qsizetype KeptStep = 10;

// Held by the server migrating a PostgreSQL store, so that two starting
// together do not both change the schema.
constexpr qint64 MigrationLockKey = 0x76656c6d6f72;

// How long a statement may run on PostgreSQL; it waits for a lock as long
// as the store's writeWaitMs. A request fails and is retried rather than
// holding its thread without end.
const QString PostgresStatementTimeout = QStringLiteral("SET statement_timeout = '15s'");

} // namespace

QSqlQuery Store::prepared(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values) {
        q.addBindValue(v);
    }
    return q;
}

QString Store::execute(const QString& sql, const QVariantList& values)
{
    // A schema change runs as it is: it is not prepared.
    QSqlQuery q = values.isEmpty() ? QSqlQuery(QSqlDatabase::database(connection_))
                                   : prepared(QSqlDatabase::database(connection_), sql, values);
    return (values.isEmpty() ? q.exec(sql) : q.exec())
               ? QString()
               : failure(QStringLiteral("記録を保存できません"), q.lastError().text());
}

QSqlQuery& Store::reused(const QString& sql, const QVariantList& values)
{
    auto it = reused_.find(sql);
    if (it == reused_.end()) {
        QSqlQuery q(QSqlDatabase::database(connection_));
        if (!q.prepare(sql)) {
            // Prepared again next time: the database may be back.
            unprepared_ = std::move(q);
            return unprepared_;
        }
        it = reused_.insert(sql, std::move(q));
    }
    for (qsizetype i = 0; i < values.size(); ++i) {
        it->bindValue(int(i), values.at(i));
    }
    return *it;
}

Store::Store() = default;

Store::~Store()
{
    reused_.clear();
    unprepared_ = QSqlQuery();
    if (!connection_.isEmpty()) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QString Store::open(const QString& workDir, const QString& url, const Options& options)
{
    connection_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
    workDir_ = workDir;
    url_ = url;
    options_ = options;
    readOnly_ = options.readOnly;
    writeWaitMs_ = options.writeWaitMs;
    sqlite_ = url.isEmpty();
    if (const QString failed = sqlite_ ? openSqlite(workDir, options) : openPostgres(url, options);
        !failed.isEmpty()) {
        return failed;
    }
    if (const QString failed = migrate(); !failed.isEmpty()) {
        return failed;
    }
    // The side files SQLite made on opening get the file's group too.
    const QString kept =
        sqlite_ && !readOnly_ ? PrivateFile::keepPrivate(where_, options.group) : QString();
    return kept.isEmpty() ? QString() : openFailure(kept);
}

QString Store::openSqlite(const QString& workDir, const Options& options)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    where_ = QDir(workDir).filePath(QStringLiteral("velmorant.sqlite"));
    db.setDatabaseName(where_);
    // A write waits for another writer from the first statement on. The
    // file is made private before SQLite opens it; its -wal and -shm take
    // its mode.
    const QString wait = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(options.writeWaitMs);
    db.setConnectOptions(
        options.readOnly ? wait + QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI") : wait);
    if (options.readOnly) {
        if (!QFileInfo::exists(where_)) {
            return QStringLiteral("記録「%1」はまだありません").arg(where_);
        }
        // A copy in a folder that may not be written, with no -shm beside
        // it: no server has it open, and SQLite reads it only if told that
        // nothing will change it meanwhile.
        QUrl file = QUrl::fromLocalFile(where_);
        if (!QFileInfo::exists(where_ + QStringLiteral("-shm")) &&
            !QFileInfo(QFileInfo(where_).path()).isWritable()) {
            file.setQuery(QStringLiteral("immutable=1"));
        }
        db.setDatabaseName(file.toString(QUrl::FullyEncoded));
    } else if (const QString failed = PrivateFile::keepPrivate(where_, options.group);
               !failed.isEmpty()) {
        return failed;
    }
    if (!db.open()) {
        return QStringLiteral("データベース「%1」を開けません: %2")
            .arg(where_, db.lastError().text());
    }
    if (options.longReads) {
        // The report reads a school's statements, a gigabyte or two: from
        // the file mapped, not copied page by page through read calls.
        QSqlQuery(db).exec(QStringLiteral("PRAGMA mmap_size=8589934592"));
    }
    if (!options.readOnly) {
        // Many short writes from one process: with the write-ahead log a
        // commit needs no sync of its own, and a killed server still loses
        // no committed row (only a power cut may lose the last ones).
        QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    return {};
}

QString Store::openPostgres(const QString& url, const Options& options)
{
    const QUrl u(url);
    if (!u.isValid() ||
        (u.scheme() != QLatin1String("postgresql") && u.scheme() != QLatin1String("postgres"))) {
        return QStringLiteral("データベースの URL「%1」は postgresql://... の形で指定してください")
            .arg(url);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    const QString socketDir =
        QUrlQuery(u).queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    db.setHostName(socketDir.isEmpty() ? u.host() : socketDir);
    if (u.port() > 0) {
        db.setPort(u.port());
    }
    db.setUserName(u.userName());
    db.setPassword(u.password());
    db.setDatabaseName(u.path().mid(1));
    where_ = u.toString(QUrl::RemovePassword);
    if (!db.open()) {
        return QStringLiteral("データベース「%1」を開けません: %2")
            .arg(where_, db.lastError().text());
    }
    // The same trade as SQLite's: a commit does not wait for the server's
    // disk, so a class answering at once never queues behind syncs; a
    // crash of the database server (not of this program) may lose the last
    // fraction of a second, never break what is stored.
    QStringList settings = {QStringLiteral("SET lock_timeout = '%1ms'").arg(options.writeWaitMs),
                            PostgresStatementTimeout,
                            QStringLiteral("SET synchronous_commit TO OFF")};
    if (options.readOnly) {
        settings.append(QStringLiteral("SET default_transaction_read_only = on"));
    }
    if (options.longReads) {
        settings.append(QStringLiteral("SET statement_timeout = 0"));
    }
    for (const QString& sql : std::as_const(settings)) {
        if (QSqlQuery q(db); !q.exec(sql)) {
            return openFailure(QStringLiteral("データベースを設定できません: ") +
                               q.lastError().text());
        }
    }
    return {};
}

QString Store::openFailure(const QString& what) const
{
    return QStringLiteral("%1（データベース: %2）").arg(what, where_);
}

QString Store::failure(const QString& what, const QString& detail) const
{
    failedInTransaction_ = failedInTransaction_ || inTransaction_;
    ++failures_;
    ServerLog::often(
        QStringLiteral("記録の失敗 %1（データベース %2: %3）").arg(what, where_, detail));
    return what;
}

bool Store::read(QSqlQuery& q, const QString& what, QString* failure) const
{
    const bool ran = q.exec();
    const QString why = ran ? QString() : this->failure(what, q.lastError().text());
    if (failure != nullptr) {
        *failure = why;
    }
    return ran;
}

bool Store::beginWrite(QSqlDatabase& db)
{
    return sqlite_ ? QSqlQuery(db).exec(QStringLiteral("BEGIN IMMEDIATE")) : db.transaction();
}

// 0 for a store without tables, -1 when it cannot be read.
int Store::schemaVersion(QString* failure)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!db.tables().contains(QStringLiteral("schema_version"))) {
        return 0;
    }
    QSqlQuery q = prepared(db, QStringLiteral("SELECT version FROM schema_version"), {});
    if (!q.exec()) {
        *failure = q.lastError().text();
        return -1;
    }
    return q.next() ? q.value(0).toInt() : 0;
}

// A store already at this version is opened without a write; otherwise the
// update runs under the write lock (and, on PostgreSQL, a lock of its own)
// and looks at the version again, since another process may have done it
// meanwhile.
QString Store::migrate()
{
    QString why;
    const int version = schemaVersion(&why);
    if (version < 0) {
        return openFailure(QStringLiteral("表を読めません: ") + why);
    }
    if (version > Migrations.size()) {
        return openFailure(
            QStringLiteral("このデータベースは新しい版のプログラムで作られています"));
    }
    if (version == Migrations.size() || readOnly_) {
        // Read as it is: a store from before classes lists its learners alone.
        beforeClasses_ = version <= ClassesStep;
        beforeParameters_ = version <= ParametersStep;
        beforeRounds_ = version <= RoundsStep;
        beforeKept_ = version <= KeptStep;
        return {};
    }
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return openFailure(QStringLiteral("データベースに書き込めません: ") +
                           db.lastError().text());
    }
    const QString failed = migrateLocked();
    if (!failed.isEmpty()) {
        db.rollback();
        return openFailure(failed);
    }
    return db.commit() ? QString()
                       : openFailure(QStringLiteral("表を作れません: ") + db.lastError().text());
}

QString Store::migrateLocked()
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery q(db);
    // The update may rewrite large tables: no statement time limit for it,
    // and another server's update is waited for however long it takes.
    if (!sqlite_ &&
        (!q.exec(QStringLiteral("SET LOCAL statement_timeout = 0")) ||
         !q.exec(QStringLiteral("SET LOCAL lock_timeout = 0")) ||
         !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(MigrationLockKey)))) {
        return QStringLiteral("データベースに書き込めません: ") + q.lastError().text();
    }
    QString why;
    const int version = schemaVersion(&why);
    if (version < 0) {
        return QStringLiteral("表を読めません: ") + why;
    }
    if (version >= Migrations.size()) {
        return {};
    }
    if (!db.tables().contains(QStringLiteral("schema_version")) &&
        !q.exec(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"))) {
        return QStringLiteral("表を作れません: ") + q.lastError().text();
    }
    for (qsizetype step = version; step < Migrations.size(); ++step) {
        for (const QString& sql : Migrations.at(step)) {
            if (!q.exec(sql)) {
                return QStringLiteral("表を作れません: ") + q.lastError().text();
            }
        }
        const QString failed = step == ClassesStep ? migrateToClasses()
                               : step == KeptStep  ? keepAnswers()
                                                   : QString();
        if (!failed.isEmpty()) {
            return failed;
        }
    }
    QSqlQuery v = prepared(db, QStringLiteral("DELETE FROM schema_version"), {});
    QSqlQuery set = prepared(db, QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"),
                             {static_cast<int>(Migrations.size())});
    if (!v.exec() || !set.exec()) {
        return QStringLiteral("表を作れません: ") + set.lastError().text();
    }
    return {};
}

// Ends an INSERT ... SELECT of a learner's row: a learner removed meanwhile
// (by another server, or on the command line) gets none.
QString Store::ifRegistered()
{
    return QStringLiteral(" WHERE EXISTS (SELECT 1 FROM learners WHERE name = ?)");
}

QString Store::insertForLearner(QSqlQuery& q, const QString& learner, const QString& what) const
{
    if (!q.exec()) {
        return failure(what, q.lastError().text());
    }
    return q.numRowsAffected() == 1
               ? QString()
               : QStringLiteral("学習者「%1」は登録されていません").arg(learner);
}
