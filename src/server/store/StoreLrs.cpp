// Where each statement stands with the learning record store, so that a
// restart sends only what it has not taken.

#include "server/store/Store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

QList<QByteArray> Store::unsentStatements(int count, QString* failure)
{
    return jsonLines(prepared(QSqlDatabase::database(connection_),
                              QStringLiteral("SELECT json FROM statements WHERE lrs_state = ?"
                                             " ORDER BY timestamp_ms, id LIMIT ?"),
                              {static_cast<int>(LrsState::Unsent), count}),
                     failure);
}

QString Store::setLrsState(const QStringList& ids, LrsState state)
{
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!beginWrite(db)) {
        return failure(QStringLiteral("送信済みの印を付けられません"), db.lastError().text());
    }
    for (const QString& id : ids) {
        QSqlQuery q =
            prepared(db, QStringLiteral("UPDATE statements SET lrs_state = ? WHERE id = ?"),
                     {static_cast<int>(state), id});
        if (!q.exec()) {
            const QString why = q.lastError().text();
            db.rollback();
            return failure(QStringLiteral("送信済みの印を付けられません"), why);
        }
    }
    return db.commit()
               ? QString()
               : failure(QStringLiteral("送信済みの印を付けられません"), db.lastError().text());
}
