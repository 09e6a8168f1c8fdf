#include "record/ProblemIndex.h"

#include "files/FileLookup.h"
#include "record/Statements.h"
#include "series/SeriesLoader.h"

#include <QFileInfo>

const ProblemIndex::File& ProblemIndex::file(const QString& series)
{
    const QFileInfo info(FileLookup::resolve(folder_, series));
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    const qint64 size = info.exists() ? info.size() : -1;
    File& known = files_[series];
    if (known.size == size && known.modified == modified && size >= 0) {
        return known;
    }
    known = File{modified, size, {}};
    if (size >= 0) {
        const SeriesLoader::Series read = SeriesLoader::load(info.filePath());
        for (const Problem& problem : read.usable) {
            known.byHash.insert(Statements::problemHash(problem), problem);
        }
    }
    return known;
}

std::optional<Problem> ProblemIndex::find(const QString& series, const QString& hash)
{
    if (series.trimmed().isEmpty()) {
        return std::nullopt;
    }
    const File& f = file(series);
    const auto it = f.byHash.constFind(hash);
    if (it == f.byHash.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

QString ProblemIndex::seriesOf(const QString& hash, const QStringList& seriesFiles)
{
    for (const QString& series : seriesFiles) {
        if (find(series, hash)) {
            return series;
        }
    }
    return {};
}
