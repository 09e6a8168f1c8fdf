#include "server/store/Store.h"

#include "files/PrivateFile.h"
#include "server/log/ServerLog.h"
#include "server/store/SignInCodes.h"

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
};

// Every table with rows of one learner, by the column naming them: a
// removed learner leaves none behind. The learner's own row goes last, so
// that its count tells whether there was such a learner.
const QList<QPair<QString, QString>> LearnerTables = {
    {QStringLiteral("sessions"), QStringLiteral("learner")},
    {QStringLiteral("marks"), QStringLiteral("learner")},
    {QStringLiteral("learner_states"), QStringLiteral("learner")},
    {QStringLiteral("statements"), QStringLiteral("learner")},
    {QStringLiteral("reviews"), QStringLiteral("learner")},
    {QStringLiteral("review_counts"), QStringLiteral("learner")},
    {QStringLiteral("learners"), QStringLiteral("name")},
};

// Held by the server migrating a PostgreSQL store, so that two starting
// together do not both change the schema.
constexpr qint64 MigrationLockKey = 0x76656c6d6f72;

// How long a statement may run on PostgreSQL; it waits for a lock as long
// as the store's writeWaitMs. A request fails and is retried rather than
// holding its thread without end.
const QString PostgresStatementTimeout = QStringLiteral("SET statement_timeout = '15s'");

// Ends an INSERT ... SELECT of a learner's row: a learner removed meanwhile
// (by another server, or on the command line) gets none.
const QString IfRegistered =
    QStringLiteral(" WHERE EXISTS (SELECT 1 FROM learners WHERE name = ?)");

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

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

Store::~Store()
{
    if (!connection_.isEmpty()) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QString Store::open(const QString& workDir, const QString& url, const Options& options)
{
    connection_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
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
    }
    QSqlQuery v = prepared(db, QStringLiteral("DELETE FROM schema_version"), {});
    QSqlQuery set = prepared(db, QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"),
                             {static_cast<int>(Migrations.size())});
    if (!v.exec() || !set.exec()) {
        return QStringLiteral("表を作れません: ") + set.lastError().text();
    }
    return {};
}

// What a code is looked up by: its hash under the store's salt.
QString Store::codeKey(const QString& code, QString* failure)
{
    const QByteArray salt = codeSalt(true, failure);
    return failure->isEmpty() ? hex(SignInCodes::hash(code, salt)) : QString();
}

QString Store::addLearner(const QString& name, const QString& code)
{
    QString failed;
    const QString key = codeKey(code, &failed);
    if (!failed.isEmpty()) {
        return failed;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery exists =
        prepared(db, QStringLiteral("SELECT 1 FROM learners WHERE name = ?"), {name});
    if (!read(exists, QStringLiteral("学習者を登録できません"), &failed)) {
        return failed;
    }
    if (exists.next()) {
        return QStringLiteral("学習者「%1」はもう登録されています").arg(name);
    }
    QSqlQuery q = prepared(
        db, QStringLiteral("INSERT INTO learners (name, salt, code_hash) VALUES (?, '', ?)"),
        {name, key});
    return q.exec() ? QString()
                    : failure(QStringLiteral("学習者を登録できません"), q.lastError().text());
}

QString Store::setLearnerCode(const QString& name, const QString& code)
{
    QString failed;
    const QString key = codeKey(code, &failed);
    if (!failed.isEmpty()) {
        return failed;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("コードを作り直せません"), db.lastError().text());
    }
    QSqlQuery q =
        prepared(db, QStringLiteral("UPDATE learners SET salt = '', code_hash = ? WHERE name = ?"),
                 {key, name});
    // A code made again because the old one got out ends its sessions too.
    QSqlQuery sessions =
        prepared(db, QStringLiteral("DELETE FROM sessions WHERE learner = ?"), {name});
    if (!q.exec()) {
        const QString why = q.lastError().text();
        db.rollback();
        return failure(QStringLiteral("コードを作り直せません"), why);
    }
    // Counted before the next statement: SQLite counts per connection.
    if (q.numRowsAffected() != 1) {
        db.rollback();
        return QStringLiteral("学習者「%1」は登録されていません").arg(name);
    }
    if (!sessions.exec() || !db.commit()) {
        const QString why = sessions.lastError().text() + db.lastError().text();
        db.rollback();
        return failure(QStringLiteral("コードを作り直せません"), why);
    }
    return {};
}

std::optional<QString> Store::learnerWithCode(const QString& code, QString* failure)
{
    QString failed;
    const QByteArray salt = codeSalt(false, &failed);
    // Hashed even before the first code is made, so that no answer is
    // quicker than another.
    const QByteArray key = SignInCodes::hash(code, salt);
    if (failed.isEmpty()) {
        QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                               QStringLiteral("SELECT name FROM learners"
                                              " WHERE code_hash = ? AND salt = ''"),
                               {hex(key)});
        if (read(q, QStringLiteral("記録を読めません"), &failed) && q.next()) {
            if (failure != nullptr) {
                failure->clear();
            }
            return q.value(0).toString();
        }
    }
    std::optional<QString> learner;
    if (failed.isEmpty()) {
        learner = oldCodeLearner(code, salt.isEmpty() ? QByteArray() : key, &failed);
    }
    if (failure != nullptr) {
        *failure = failed;
    }
    return learner;
}

// Codes kept before the store had a salt of its own were hashed each with
// its learner's salt: those are tried one by one, and a learner found is
// moved to the store's salt. This lasts only until each such learner has
// signed in once; until then a wrong code costs a hash for each of them.
// `key` is the code's hash under the store's salt, empty when there is none
// yet.
std::optional<QString> Store::oldCodeLearner(const QString& code, QByteArray key, QString* failure)
{
    if (!oldCodesLeft_) {
        return std::nullopt;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery q = prepared(
        db, QStringLiteral("SELECT name, salt, code_hash FROM learners WHERE salt <> ''"), {});
    if (!read(q, QStringLiteral("記録を読めません"), failure)) {
        return std::nullopt;
    }
    oldCodesLeft_ = false;
    std::optional<QString> found;
    QString oldSalt;
    while (q.next()) {
        oldCodesLeft_ = true;
        const QByteArray salt = QByteArray::fromHex(q.value(1).toString().toLatin1());
        const QByteArray hash = QByteArray::fromHex(q.value(2).toString().toLatin1());
        if (!found && SignInCodes::sameBytes(SignInCodes::hash(code, salt), hash)) {
            found = q.value(0).toString();
            oldSalt = q.value(1).toString();
        }
    }
    QString noSalt;
    if (found && !readOnly_ && key.isEmpty()) {
        key = SignInCodes::hash(code, codeSalt(true, &noSalt));
    }
    if (found && !readOnly_ && noSalt.isEmpty()) {
        // Only if the code was not made again meanwhile.
        QSqlQuery move = prepared(db,
                                  QStringLiteral("UPDATE learners SET salt = '', code_hash = ?"
                                                 " WHERE name = ? AND salt = ?"),
                                  {hex(key), *found, oldSalt});
        if (!move.exec()) {
            this->failure(QStringLiteral("コードを移せません"), move.lastError().text());
        }
    }
    return found;
}

QString Store::removeLearner(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("学習者を削除できません"), db.lastError().text());
    }
    for (const auto& [table, column] : LearnerTables) {
        QSqlQuery q =
            prepared(db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table, column), {name});
        if (!q.exec()) {
            const QString why = q.lastError().text();
            db.rollback();
            return failure(QStringLiteral("学習者を削除できません"), why);
        }
        if (table == QLatin1String("learners") && q.numRowsAffected() != 1) {
            db.rollback();
            return QStringLiteral("学習者「%1」は登録されていません").arg(name);
        }
    }
    return db.commit() ? QString()
                       : failure(QStringLiteral("学習者を削除できません"), db.lastError().text());
}

QStringList Store::learnerNames(QString* failure)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT name FROM learners ORDER BY name"), {});
    QStringList names;
    if (read(q, QStringLiteral("学習者の一覧を読めません"), failure)) {
        while (q.next()) {
            names.append(q.value(0).toString());
        }
    }
    return names;
}

QString Store::addSession(const QByteArray& idHash, const QString& learner, qint64 expiresMs)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    // Sessions past their time go as new ones come.
    QSqlQuery old = prepared(db, QStringLiteral("DELETE FROM sessions WHERE expires_ms < ?"),
                             {expiresMs - 2 * 12 * 3600 * qint64(1000)});
    old.exec();
    QSqlQuery q = prepared(db,
                           QStringLiteral("INSERT INTO sessions (id_hash, learner, expires_ms)"
                                          " SELECT ?, ?, CAST(? AS BIGINT)") +
                               IfRegistered,
                           {hex(idHash), learner, expiresMs, learner});
    return insertForLearner(q, learner, QStringLiteral("サインインを記録できません"));
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

std::optional<QString> Store::sessionLearner(const QByteArray& idHash, qint64 nowMs,
                                             QString* failure)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("SELECT learner FROM sessions WHERE id_hash = ? AND expires_ms > ?"),
        {hex(idHash), nowMs});
    if (read(q, QStringLiteral("記録を読めません"), failure) && q.next()) {
        return q.value(0).toString();
    }
    return std::nullopt;
}

void Store::removeSession(const QByteArray& idHash)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("DELETE FROM sessions WHERE id_hash = ?"), {hex(idHash)});
    if (!q.exec()) {
        failure(QStringLiteral("サインアウトを記録できません"), q.lastError().text());
    }
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
                               IfRegistered,
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
    QSqlQuery q =
        prepared(QSqlDatabase::database(connection_),
                 QStringLiteral("INSERT INTO statements (learner, id, problem_id,"
                                " timestamp_ms, json) SELECT ?, ?, ?, CAST(? AS BIGINT), ?") +
                     IfRegistered,
                 {learner, id, problemId, timestampMs, QString::fromUtf8(json), learner});
    return insertForLearner(q, learner, QStringLiteral("回答を記録できません"));
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
