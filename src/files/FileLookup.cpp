#include "files/FileLookup.h"

#include <QDir>
#include <QFileInfo>

namespace FileLookup
{

namespace
{

// The one entry of `dir` equal to `part` apart from letter case; empty when
// there is none or more than one.
QString caseVariant(const QString& dir, const QString& part)
{
    const QStringList entries =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QString found;
    for (const QString& entry : entries) {
        if (entry.compare(part, Qt::CaseInsensitive) == 0) {
            if (!found.isEmpty()) {
                return {};
            }
            found = entry;
        }
    }
    return found;
}

} // namespace

QString resolve(const QString& dir, const QString& name)
{
    QString unified = name;
    unified.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QDir base(dir);
    if (QFileInfo::exists(base.filePath(unified))) {
        return base.filePath(unified);
    }
    QString current = unified.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : dir;
    const QStringList parts = unified.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        QString step = QDir(current).filePath(part);
        if (!QFileInfo::exists(step) && part != QLatin1String(".") && part != QLatin1String("..")) {
            const QString variant = caseVariant(current, part);
            if (variant.isEmpty()) {
                // Nothing further can exist: keep the rest as written.
                return QDir(current).filePath(parts.mid(i).join(QLatin1Char('/')));
            }
            step = QDir(current).filePath(variant);
        }
        current = step;
    }
    return current;
}

} // namespace FileLookup
