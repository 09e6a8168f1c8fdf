// Each class's review parameters and the report of its last fit.

#include "server/store/Store.h"

#include <QSqlError>
#include <QVariant>

namespace
{

Store::KeptParameters rowOf(const QSqlQuery& q)
{
    return {q.value(0).toByteArray(), q.value(1).toByteArray(), q.value(2).toLongLong()};
}

} // namespace

// The row `join` and `where` find, its texts as bytes (as text they would be
// made UTF-16 and back).
std::optional<Store::KeptParameters> Store::parametersRow(const QString& join,
                                                          const QVariant& value, QString* failure)
{
    if (beforeParameters_) {
        return KeptParameters{};
    }
    const QString text = sqlite_ ? QStringLiteral("CAST(p.kept AS BLOB), CAST(p.report AS BLOB)")
                                 : QStringLiteral("convert_to(p.kept, 'UTF8'),"
                                                  " convert_to(p.report, 'UTF8')");
    // A learner's are read at every check: prepared once per connection.
    QSqlQuery& q = reused(QStringLiteral("SELECT %1, p.version FROM %2").arg(text, join), {value});
    if (!read(q, QStringLiteral("復習のパラメーターを読めません"), failure)) {
        return std::nullopt;
    }
    const KeptParameters row = q.next() ? rowOf(q) : KeptParameters{};
    q.finish();
    return row;
}

std::optional<Store::KeptParameters> Store::classParameters(qint64 classId, QString* failure)
{
    return parametersRow(QStringLiteral("class_parameters p WHERE p.class_id = ?"), classId,
                         failure);
}

std::optional<Store::KeptParameters> Store::learnerParameters(const QString& learner,
                                                              QString* failure)
{
    return parametersRow(QStringLiteral("learners l JOIN class_parameters p"
                                        " ON p.class_id = l.class_id WHERE l.name = ?"),
                         learner, failure);
}

QString Store::saveClassParameters(qint64 classId, const QByteArray& kept, const QByteArray& report)
{
    QSqlQuery q = prepared(
        QSqlDatabase::database(connection_),
        QStringLiteral("INSERT INTO class_parameters (class_id, kept, report, version)"
                       " VALUES (?, ?, ?, 1) ON CONFLICT (class_id) DO UPDATE SET"
                       " kept = excluded.kept, report = excluded.report,"
                       " version = class_parameters.version + 1"),
        {classId, QString::fromUtf8(kept),
         report.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QString::fromUtf8(report)});
    return q.exec() ? QString()
                    : failure(QStringLiteral("復習のパラメーターを記録できません"),
                              q.lastError().text());
}
