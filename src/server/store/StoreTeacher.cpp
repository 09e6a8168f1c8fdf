// The teachers: each one's password, the classes given them, and their
// sessions, apart from the learners' so that neither kind of cookie opens
// the other's pages.

#include "server/store/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

const QString Store::AdminName = QStringLiteral("管理者");

QString Store::setTeacherPassword(const QString& teacher, const QByteArray& salt,
                                  const QByteArray& hash, bool admin)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("パスワードを保存できません"), db.lastError().text());
    }
    // A new password ends every session of the old one.
    QSqlQuery sessions =
        prepared(db, QStringLiteral("DELETE FROM teacher_sessions WHERE teacher = ?"), {teacher});
    QSqlQuery clear =
        prepared(db, QStringLiteral("DELETE FROM teachers WHERE name = ?"), {teacher});
    QSqlQuery q = prepared(
        db, QStringLiteral("INSERT INTO teachers (name, salt, hash, admin) VALUES (?, ?, ?, ?)"),
        {teacher, QString::fromLatin1(salt.toHex()), QString::fromLatin1(hash.toHex()), admin});
    if (!sessions.exec() || !clear.exec() || !q.exec() || !db.commit()) {
        const QString why = sessions.lastError().text() + clear.lastError().text() +
                            q.lastError().text() + db.lastError().text();
        db.rollback();
        return failure(QStringLiteral("パスワードを保存できません"), why);
    }
    return {};
}

std::optional<QPair<QByteArray, QByteArray>> Store::teacherPassword(const QString& teacher,
                                                                    QString* failure)
{
    QSqlQuery q =
        prepared(QSqlDatabase::database(connection_),
                 QStringLiteral("SELECT salt, hash FROM teachers WHERE name = ?"), {teacher});
    if (read(q, QStringLiteral("記録を読めません"), failure) && q.next()) {
        return qMakePair(QByteArray::fromHex(q.value(0).toString().toLatin1()),
                         QByteArray::fromHex(q.value(1).toString().toLatin1()));
    }
    return std::nullopt;
}

std::optional<QList<Store::Teacher>> Store::teachers(QString* failure)
{
    if (beforeClasses_) {
        // Read as the last release left it: its one password is the administrator's.
        return QList<Teacher>{{AdminName, true, {}}};
    }
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery q = prepared(
        db, QStringLiteral("SELECT name, admin FROM teachers ORDER BY admin DESC, name"), {});
    QSqlQuery given =
        prepared(db,
                 QStringLiteral("SELECT t.teacher, t.class_id FROM teacher_classes t"
                                " JOIN classes c ON c.id = t.class_id ORDER BY c.position, c.name"),
                 {});
    if (!read(q, QStringLiteral("先生の一覧を読めません"), failure) ||
        !read(given, QStringLiteral("先生の一覧を読めません"), failure)) {
        return std::nullopt;
    }
    QList<Teacher> out;
    while (q.next()) {
        out.append({q.value(0).toString(), q.value(1).toBool(), {}});
    }
    while (given.next()) {
        for (Teacher& t : out) {
            if (t.name == given.value(0).toString()) {
                t.classIds.append(given.value(1).toLongLong());
            }
        }
    }
    return out;
}

std::optional<Store::Teacher> Store::teacher(const QString& name, QString* failure)
{
    const std::optional<QList<Teacher>> all = teachers(failure);
    if (all) {
        for (const Teacher& t : *all) {
            if (t.name == name) {
                return t;
            }
        }
    }
    return std::nullopt;
}

QString Store::removeTeacher(const QString& name)
{
    if (name == AdminName) {
        return QStringLiteral("管理者は削除できません");
    }
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("先生を削除できません"), db.lastError().text());
    }
    bool known = false;
    for (const QString& sql : {QStringLiteral("DELETE FROM teacher_sessions WHERE teacher = ?"),
                               QStringLiteral("DELETE FROM teacher_classes WHERE teacher = ?"),
                               QStringLiteral("DELETE FROM teachers WHERE name = ?")}) {
        QSqlQuery q = prepared(db, sql, {name});
        if (!q.exec()) {
            const QString why = q.lastError().text();
            db.rollback();
            return failure(QStringLiteral("先生を削除できません"), why);
        }
        known = q.numRowsAffected() > 0;
    }
    if (!known) {
        db.rollback();
        return QStringLiteral("先生「%1」は登録されていません").arg(name);
    }
    return db.commit() ? QString()
                       : failure(QStringLiteral("先生を削除できません"), db.lastError().text());
}

QString Store::newTeacherRefused(const QString& name)
{
    if (name == AdminName) {
        return QStringLiteral("管理者のパスワードは --set-teacher-password で設定します");
    }
    QString failed;
    if (teacher(name, &failed)) {
        return QStringLiteral("先生「%1」はもう登録されています").arg(name);
    }
    return failed;
}

QString Store::setTeacherClasses(const QString& name, const QList<qint64>& classIds)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("先生のクラスを保存できません"), db.lastError().text());
    }
    QSqlQuery known = prepared(db, QStringLiteral("SELECT 1 FROM teachers WHERE name = ?"), {name});
    QSqlQuery clear =
        prepared(db, QStringLiteral("DELETE FROM teacher_classes WHERE teacher = ?"), {name});
    bool ok = known.exec() && clear.exec();
    if (ok && !known.next()) {
        db.rollback();
        return QStringLiteral("先生「%1」は登録されていません").arg(name);
    }
    QString why = known.lastError().text() + clear.lastError().text();
    for (const qint64 id : classIds) {
        QSqlQuery add = prepared(
            db, QStringLiteral("INSERT INTO teacher_classes (teacher, class_id) VALUES (?, ?)"),
            {name, id});
        ok = ok && add.exec();
        why += add.lastError().text();
    }
    if (!ok || !db.commit()) {
        db.rollback();
        return failure(QStringLiteral("先生のクラスを保存できません"), why + db.lastError().text());
    }
    return {};
}

QString Store::addTeacherSession(const QByteArray& idHash, const QString& teacher, qint64 expiresMs)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery old =
        prepared(db, QStringLiteral("DELETE FROM teacher_sessions WHERE expires_ms < ?"),
                 {expiresMs - 2 * 12 * 3600 * qint64(1000)});
    old.exec();
    QSqlQuery q = prepared(db,
                           QStringLiteral("INSERT INTO teacher_sessions (id_hash, teacher,"
                                          " expires_ms) VALUES (?, ?, ?)"),
                           {QString::fromLatin1(idHash.toHex()), teacher, expiresMs});
    return q.exec() ? QString()
                    : failure(QStringLiteral("サインインを記録できません"), q.lastError().text());
}

std::optional<QString> Store::teacherSession(const QByteArray& idHash, qint64 nowMs,
                                             QString* failure)
{
    QSqlQuery q = prepared(QSqlDatabase::database(connection_),
                           QStringLiteral("SELECT teacher FROM teacher_sessions"
                                          " WHERE id_hash = ? AND expires_ms > ?"),
                           {QString::fromLatin1(idHash.toHex()), nowMs});
    if (read(q, QStringLiteral("記録を読めません"), failure) && q.next()) {
        return q.value(0).toString();
    }
    return std::nullopt;
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
