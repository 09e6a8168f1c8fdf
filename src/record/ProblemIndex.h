#pragma once

#include "series/Problem.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// The problems of a work folder's series files by the hash of their text,
// each file read again only once it has changed. It finds the problems a
// record names, and which series a marked problem came from.
class ProblemIndex
{
public:
    explicit ProblemIndex(QString folder) : folder_(std::move(folder)) {}

    // The problem of series file `series` (as the catalogue names it) whose
    // text has this hash; none once the file no longer holds that text.
    std::optional<Problem> find(const QString& series, const QString& hash);
    // The first of `seriesFiles` holding a problem with this hash; empty
    // when none does.
    QString seriesOf(const QString& hash, const QStringList& seriesFiles);

private:
    struct File {
        QDateTime modified;
        qint64 size = -1;
        QHash<QString, Problem> byHash;
    };
    const File& file(const QString& series);

    QString folder_;
    QHash<QString, File> files_;
};
