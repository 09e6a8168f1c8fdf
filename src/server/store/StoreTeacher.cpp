// The teacher's password, one at a time, and the teacher's sessions, apart
// from the learners' so that neither kind of cookie opens the other's pages.

#include "server/store/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

QString Store::setTeacherPassword(const QByteArray& salt, const QByteArray& hash)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("パスワードを保存できません"), db.lastError().text());
    }
    // A new password ends every teacher session of the old one.
    QSqlQuery sessions(db);
    QSqlQuery clear(db);
    QSqlQuery q = prepared(
        db, QStringLiteral("INSERT INTO teacher (id, salt, password_hash) VALUES (1, ?, ?)"),
        {QString::fromLatin1(salt.toHex()), QString::fromLatin1(hash.toHex())});
    if (!sessions.exec(QStringLiteral("DELETE FROM teacher_sessions")) ||
        !clear.exec(QStringLiteral("DELETE FROM teacher")) || !q.exec() || !db.commit()) {
        const QString why = sessions.lastError().text() + clear.lastError().text() +
                            q.lastError().text() + db.lastError().text();
        db.rollback();
        return failure(QStringLiteral("パスワードを保存できません"), why);
    }
    return {};
}

std::optional<QPair<QByteArray, QByteArray>> Store::teacherPassword(QString* failure)
{
    QSqlQuery q =
        prepared(QSqlDatabase::database(connection_),
                 QStringLiteral("SELECT salt, password_hash FROM teacher WHERE id = 1"), {});
    if (read(q, QStringLiteral("記録を読めません"), failure) && q.next()) {
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
    return q.exec() ? QString()
                    : failure(QStringLiteral("サインインを記録できません"), q.lastError().text());
}

bool Store::teacherSession(const QByteArray& idHash, qint64 nowMs, QString* failure)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("SELECT 1 FROM teacher_sessions WHERE id_hash = ? AND expires_ms > ?"),
        {QString::fromLatin1(idHash.toHex()), nowMs});
    return read(q, QStringLiteral("記録を読めません"), failure) && q.next();
}

void Store::removeTeacherSession(const QByteArray& idHash)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("DELETE FROM teacher_sessions WHERE id_hash = ?"),
                           {QString::fromLatin1(idHash.toHex())});
    if (!q.exec()) {
        failure(QStringLiteral("サインアウトを記録できません"), q.lastError().text());
    }
}
