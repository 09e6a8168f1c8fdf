// The store's secrets: the salt of the codes' hashes and the key of the
// device cookies, each kept once for every process sharing the store.

#include "server/store/SignInCodes.h"
#include "server/store/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

QByteArray Store::codeSalt(bool make, QString* failure)
{
    if (codeSalt_.isEmpty()) {
        codeSalt_ = secret(QStringLiteral("code_salt"), QStringLiteral("salt"),
                           make ? SignInCodes::newSalt() : QByteArray(), failure);
    }
    return codeSalt_;
}

QByteArray Store::deviceKey(QString* failure)
{
    return secret(QStringLiteral("device_key"), QStringLiteral("secret"),
                  QByteArray::fromHex(SignInCodes::newSessionId()), failure);
}

// A one-row table's secret, made with `fresh` (unless empty) by the first
// process that needs it, once for every process sharing the store.
QByteArray Store::secret(const QString& table, const QString& column, const QByteArray& fresh,
                         QString* failure)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!fresh.isEmpty()) {
        QSqlQuery insert =
            prepared(db,
                     QStringLiteral("INSERT INTO %1 (id, %2) VALUES (1, ?) ON CONFLICT DO NOTHING")
                         .arg(table, column),
                     {QString::fromLatin1(fresh.toHex())});
        if (!insert.exec()) {
            *failure =
                this->failure(QStringLiteral("記録に書き込めません"), insert.lastError().text());
            return {};
        }
    }
    QSqlQuery q =
        prepared(db, QStringLiteral("SELECT %1 FROM %2 WHERE id = 1").arg(column, table), {});
    if (read(q, QStringLiteral("記録を読めません"), failure) && q.next()) {
        return QByteArray::fromHex(q.value(0).toString().toLatin1());
    }
    return {};
}
