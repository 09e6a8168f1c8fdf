#include "server/Store.h"

#include <QDir>
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
        // Each learner's session, so that any server continues it.
        QStringLiteral("CREATE TABLE learner_states (learner TEXT PRIMARY KEY,"
                       " seq BIGINT NOT NULL, value TEXT NOT NULL, last_key TEXT NOT NULL,"
                       " last_reply TEXT NOT NULL)"),
    },
};

QSqlQuery prepared(const QSqlDatabase& db, const QString& sql, const QVariantList& values)
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values) {
        q.addBindValue(v);
    }
    return q;
}

} // namespace

Store::~Store()
{
    if (!connection_.isEmpty()) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QString Store::open(const QString& workDir, const QString& url)
{
    connection_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (url.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        where_ = QDir(workDir).filePath(QStringLiteral("velmorant.sqlite"));
        db.setDatabaseName(where_);
    } else {
        const QUrl u(url);
        if (!u.isValid() || (u.scheme() != QLatin1String("postgresql") &&
                             u.scheme() != QLatin1String("postgres"))) {
            return QStringLiteral(
                       "データベースの URL「%1」は postgresql://... の形で指定してください")
                .arg(url);
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
        postgres_ = true;
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
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.open()) {
        return QStringLiteral("データベース「%1」を開けません: %2")
            .arg(where_, db.lastError().text());
    }
    if (db.driverName() == QLatin1String("QSQLITE")) {
        // Many short writes from one process: with the write-ahead log a
        // commit needs no sync of its own, and a killed server still loses
        // no committed row (only a power cut may lose the last ones).
        QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout=5000"));
    } else {
        // The same trade as SQLite's: a commit does not wait for the
        // server's disk, so a class answering at once never queues behind
        // syncs; a crash of the database server (not of this program) may
        // lose the last fraction of a second, never break what is stored.
        QSqlQuery(db).exec(QStringLiteral("SET synchronous_commit TO OFF"));
    }
    return migrate();
}

QString Store::failure(const QString& what) const
{
    failedInTransaction_ = failedInTransaction_ || inTransaction_;
    ++failures_;
    return QStringLiteral("%1（データベース: %2）").arg(what, where_);
}

QString Store::migrate()
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery q(db);
    if (!db.tables().contains(QStringLiteral("schema_version")) &&
        !q.exec(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"))) {
        return failure(QStringLiteral("表を作れません: ") + q.lastError().text());
    }
    if (!db.transaction()) {
        return failure(QStringLiteral("データベースに書き込めません: ") + db.lastError().text());
    }
    int version = 0;
    bool hasRow = false;
    if (q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next()) {
        version = q.value(0).toInt();
        hasRow = true;
    }
    if (version > Migrations.size()) {
        db.rollback();
        return failure(QStringLiteral("このデータベースは新しい版のプログラムで作られています"));
    }
    for (qsizetype step = version; step < Migrations.size(); ++step) {
        for (const QString& sql : Migrations.at(step)) {
            if (!q.exec(sql)) {
                const QString why = q.lastError().text();
                db.rollback();
                return failure(QStringLiteral("表を作れません: ") + why);
            }
        }
    }
    const QString set = hasRow ? QStringLiteral("UPDATE schema_version SET version = ?")
                               : QStringLiteral("INSERT INTO schema_version (version) VALUES (?)");
    QSqlQuery v = prepared(db, set, {static_cast<int>(Migrations.size())});
    if (!v.exec() || !db.commit()) {
        db.rollback();
        return failure(QStringLiteral("表を作れません: ") + v.lastError().text());
    }
    return {};
}

QString Store::addLearner(const Learner& learner)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery exists =
        prepared(db, QStringLiteral("SELECT 1 FROM learners WHERE name = ?"), {learner.name});
    if (exists.exec() && exists.next()) {
        return QStringLiteral("学習者「%1」はもう登録されています").arg(learner.name);
    }
    QSqlQuery q = prepared(db,
                           QStringLiteral("INSERT INTO learners (name, bucket, salt, code_hash)"
                                          " VALUES (?, ?, ?, ?)"),
                           {learner.name, learner.bucket, QString::fromLatin1(learner.salt.toHex()),
                            QString::fromLatin1(learner.codeHash.toHex())});
    return q.exec() ? QString()
                    : failure(QStringLiteral("学習者を登録できません: ") + q.lastError().text());
}

QString Store::removeLearner(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery exists =
        prepared(db, QStringLiteral("SELECT 1 FROM learners WHERE name = ?"), {name});
    if (!exists.exec() || !exists.next()) {
        return QStringLiteral("学習者「%1」は登録されていません").arg(name);
    }
    db.transaction();
    for (const char* table : {"sessions", "marks", "statements", "learners"}) {
        const QString column = QLatin1String(table) == QLatin1String("learners")
                                   ? QStringLiteral("name")
                                   : QStringLiteral("learner");
        QSqlQuery q = prepared(
            db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(QLatin1String(table), column),
            {name});
        if (!q.exec()) {
            db.rollback();
            return failure(QStringLiteral("学習者を削除できません: ") + q.lastError().text());
        }
    }
    return db.commit() ? QString() : failure(QStringLiteral("学習者を削除できません"));
}

QStringList Store::learnerNames()
{
    QSqlQuery q(QSqlDatabase::database(connection_));
    QStringList names;
    if (q.exec(QStringLiteral("SELECT name FROM learners ORDER BY name"))) {
        while (q.next()) {
            names.append(q.value(0).toString());
        }
    }
    return names;
}

QList<Store::Learner> Store::learnersInBucket(int bucket)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("SELECT name, salt, code_hash FROM learners WHERE bucket = ?"), {bucket});
    QList<Learner> found;
    if (q.exec()) {
        while (q.next()) {
            found.append({q.value(0).toString(), bucket,
                          QByteArray::fromHex(q.value(1).toString().toLatin1()),
                          QByteArray::fromHex(q.value(2).toString().toLatin1())});
        }
    }
    return found;
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
                                          " VALUES (?, ?, ?)"),
                           {QString::fromLatin1(idHash.toHex()), learner, expiresMs});
    return q.exec()
               ? QString()
               : failure(QStringLiteral("サインインを記録できません: ") + q.lastError().text());
}

std::optional<QString> Store::sessionLearner(const QByteArray& idHash, qint64 nowMs)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("SELECT learner FROM sessions WHERE id_hash = ? AND expires_ms > ?"),
        {QString::fromLatin1(idHash.toHex()), nowMs});
    if (q.exec() && q.next()) {
        return q.value(0).toString();
    }
    return std::nullopt;
}

void Store::removeSession(const QByteArray& idHash)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("DELETE FROM sessions WHERE id_hash = ?"),
                           {QString::fromLatin1(idHash.toHex())});
    q.exec();
}

QList<Store::Mark> Store::marks(const QString& learner)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT position, record FROM marks WHERE learner = ?"
                                          " ORDER BY position"),
                           {learner});
    QList<Mark> found;
    if (q.exec()) {
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
                                          " SELECT ?, COALESCE(MAX(position), 0) + 1, ? FROM marks"
                                          " WHERE learner = ?"),
                           {learner, record.join(QLatin1Char('\n')), learner});
    return q.exec() ? QString()
                    : failure(QStringLiteral("マークを保存できません: ") + q.lastError().text());
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
                failure(QStringLiteral("マークを取り消せません: ") + q.lastError().text());
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
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("INSERT INTO statements (learner, id, problem_id,"
                                          " timestamp_ms, json) VALUES (?, ?, ?, ?, ?)"),
                           {learner, id, problemId, timestampMs, QString::fromUtf8(json)});
    return q.exec() ? QString()
                    : failure(QStringLiteral("回答を記録できません: ") + q.lastError().text());
}

QList<QByteArray> Store::statements(const QString& learner)
{
    return jsonLines(prepared(QSqlDatabase::database(connection_),
                              QStringLiteral("SELECT json FROM statements WHERE learner = ?"
                                             " ORDER BY timestamp_ms, id"),
                              {learner}));
}

QList<QByteArray> Store::allStatements()
{
    return jsonLines(prepared(QSqlDatabase::database(connection_),
                              QStringLiteral("SELECT json FROM statements"
                                             " ORDER BY learner, timestamp_ms, id"),
                              {}));
}

QList<QByteArray> Store::jsonLines(QSqlQuery q)
{
    QList<QByteArray> lines;
    if (q.exec()) {
        while (q.next()) {
            lines.append(q.value(0).toString().toUtf8());
        }
    }
    return lines;
}

QString Store::setLearnerCode(const Learner& learner)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    db.transaction();
    QSqlQuery q = prepared(db,
                           QStringLiteral("UPDATE learners SET bucket = ?, salt = ?, code_hash = ?"
                                          " WHERE name = ?"),
                           {learner.bucket, QString::fromLatin1(learner.salt.toHex()),
                            QString::fromLatin1(learner.codeHash.toHex()), learner.name});
    // A code made again because the old one got out ends its sessions too.
    QSqlQuery sessions =
        prepared(db, QStringLiteral("DELETE FROM sessions WHERE learner = ?"), {learner.name});
    if (!q.exec()) {
        const QString why = q.lastError().text();
        db.rollback();
        return failure(QStringLiteral("コードを作り直せません: ") + why);
    }
    // Counted before the next statement: SQLite counts per connection.
    if (q.numRowsAffected() != 1) {
        db.rollback();
        return QStringLiteral("学習者「%1」は登録されていません").arg(learner.name);
    }
    if (!sessions.exec()) {
        const QString why = sessions.lastError().text();
        db.rollback();
        return failure(QStringLiteral("コードを作り直せません: ") + why);
    }
    return db.commit() ? QString() : failure(QStringLiteral("コードを作り直せません"));
}

QString Store::setTeacherPassword(const QByteArray& salt, const QByteArray& hash)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    db.transaction();
    // A new password ends every teacher session of the old one.
    QSqlQuery sessions(db);
    QSqlQuery clear(db);
    QSqlQuery q = prepared(
        db, QStringLiteral("INSERT INTO teacher (id, salt, password_hash) VALUES (1, ?, ?)"),
        {QString::fromLatin1(salt.toHex()), QString::fromLatin1(hash.toHex())});
    if (!sessions.exec(QStringLiteral("DELETE FROM teacher_sessions")) ||
        !clear.exec(QStringLiteral("DELETE FROM teacher")) || !q.exec() || !db.commit()) {
        db.rollback();
        return failure(QStringLiteral("パスワードを保存できません: ") + q.lastError().text());
    }
    return {};
}

std::optional<QPair<QByteArray, QByteArray>> Store::teacherPassword()
{
    QSqlQuery q(QSqlDatabase::database(connection_));
    if (q.exec(QStringLiteral("SELECT salt, password_hash FROM teacher WHERE id = 1")) &&
        q.next()) {
        return qMakePair(QByteArray::fromHex(q.value(0).toString().toLatin1()),
                         QByteArray::fromHex(q.value(1).toString().toLatin1()));
    }
    return std::nullopt;
}

QString Store::addTeacherSession(const QByteArray& idHash, qint64 expiresMs)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery old =
        prepared(db, QStringLiteral("DELETE FROM teacher_sessions WHERE expires_ms < ?"),
                 {expiresMs - 2 * 12 * 3600 * qint64(1000)});
    old.exec();
    QSqlQuery q = prepared(
        db, QStringLiteral("INSERT INTO teacher_sessions (id_hash, expires_ms) VALUES (?, ?)"),
        {QString::fromLatin1(idHash.toHex()), expiresMs});
    return q.exec()
               ? QString()
               : failure(QStringLiteral("サインインを記録できません: ") + q.lastError().text());
}

bool Store::teacherSession(const QByteArray& idHash, qint64 nowMs)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("SELECT 1 FROM teacher_sessions WHERE id_hash = ? AND expires_ms > ?"),
        {QString::fromLatin1(idHash.toHex()), nowMs});
    return q.exec() && q.next();
}

void Store::removeTeacherSession(const QByteArray& idHash)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("DELETE FROM teacher_sessions WHERE id_hash = ?"),
                           {QString::fromLatin1(idHash.toHex())});
    q.exec();
}

QList<QByteArray> Store::unsentStatements(int count)
{
    return jsonLines(prepared(QSqlDatabase::database(connection_),
                              QStringLiteral("SELECT json FROM statements WHERE lrs_state = ?"
                                             " ORDER BY timestamp_ms, id LIMIT ?"),
                              {static_cast<int>(LrsState::Unsent), count}));
}

QString Store::setLrsState(const QStringList& ids, LrsState state)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    db.transaction();
    for (const QString& id : ids) {
        QSqlQuery q =
            prepared(db, QStringLiteral("UPDATE statements SET lrs_state = ? WHERE id = ?"),
                     {static_cast<int>(state), id});
        if (!q.exec()) {
            db.rollback();
            return failure(QStringLiteral("送信済みの印を付けられません: ") + q.lastError().text());
        }
    }
    return db.commit() ? QString() : failure(QStringLiteral("送信済みの印を付けられません"));
}
