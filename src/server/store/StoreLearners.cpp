// The store's learners and their sign-in codes: each code is kept as its
// hash under the store's salt (StoreSecrets.cpp), looked up by that hash.

#include "server/store/Store.h"

#include "server/store/SignInCodes.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace
{

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
    {QStringLiteral("round_boards"), QStringLiteral("learner")},
    {QStringLiteral("learners"), QStringLiteral("name")},
};

} // namespace

// What a code is looked up by: its hash under the store's salt.
QString Store::codeKey(const QString& code, QString* failure)
{
    const QByteArray salt = codeSalt(true, failure);
    return failure->isEmpty() ? QString::fromLatin1(SignInCodes::hash(code, salt).toHex())
                              : QString();
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
                               {QString::fromLatin1(key.toHex())});
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
                                  {QString::fromLatin1(key.toHex()), *found, oldSalt});
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

QString Store::removeClass(const QString& name, int* removed)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("クラスを削除できません"), db.lastError().text());
    }
    const qint64 id = classId(name, false);
    if (id <= 0) {
        db.rollback();
        return id < 0 ? QStringLiteral("クラスを削除できません")
                      : QStringLiteral("クラス「%1」はありません").arg(name);
    }
    const QString ofClass = QStringLiteral("(SELECT name FROM learners WHERE class_id = ?)");
    QStringList sql;
    for (const auto& [table, column] : LearnerTables) {
        sql.append(QStringLiteral("DELETE FROM %1 WHERE %2 IN %3").arg(table, column, ofClass));
    }
    sql += {QStringLiteral("DELETE FROM teacher_classes WHERE class_id = ?"),
            QStringLiteral("DELETE FROM class_series WHERE class_id = ?"),
            QStringLiteral("DELETE FROM rounds WHERE class_id = ?"),
            QStringLiteral("DELETE FROM classes WHERE id = ?")};
    for (const QString& statement : std::as_const(sql)) {
        QSqlQuery q = prepared(db, statement, {id});
        if (!q.exec()) {
            const QString why = q.lastError().text();
            db.rollback();
            return failure(QStringLiteral("クラスを削除できません"), why);
        }
        if (statement.startsWith(QLatin1String("DELETE FROM learners "))) {
            *removed = q.numRowsAffected();
        }
    }
    return db.commit() ? QString()
                       : failure(QStringLiteral("クラスを削除できません"), db.lastError().text());
}
