#include "record/ProblemIndex.h"

#include "files/FileLookup.h"
#include "record/ProblemId.h"
#include "series/SeriesLoader.h"

#include <QFileInfo>

ProblemIndex::File& ProblemIndex::file(const QString& series)
{
    const QFileInfo info(FileLookup::resolve(folder_, series));
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    const qint64 size = info.exists() ? info.size() : -1;
    File& known = files_[series];
    if (known.size == size && known.modified == modified && size >= 0) {
        return known;
    }
    known = File{modified, size, {}, {}, {}, {}, {}};
    if (size >= 0) {
        known.problems = SeriesLoader::load(info.filePath()).usable;
        known.keys = ProblemIds::keysOf(known.problems);
        for (qsizetype i = 0; i < known.problems.size(); ++i) {
            known.asked.append(ProblemIds::asked(known.problems.at(i)));
            known.byKey.insert(known.keys.at(i), i);
            known.byText.insert(ProblemIds::textHash(known.problems.at(i)), i);
        }
    }
    return known;
}

std::optional<Problem> ProblemIndex::find(const QString& series, const QString& key)
{
    if (series.trimmed().isEmpty()) {
        return std::nullopt;
    }
    const File& f = file(series);
    const QHash<QString, qsizetype>& by = ProblemIds::isTextHash(key) ? f.byText : f.byKey;
    const auto it = by.constFind(key);
    if (it == by.constEnd()) {
        return std::nullopt;
    }
    return f.problems.at(*it);
}

QString ProblemIndex::keyOf(const QString& series, const Problem& problem)
{
    const QString asked = ProblemIds::asked(problem);
    if (series.trimmed().isEmpty()) {
        return asked + QStringLiteral("-1");
    }
    const File& f = file(series);
    qsizetype first = -1;
    qsizetype worded = -1;
    for (qsizetype i = 0; i < f.problems.size(); ++i) {
        if (f.asked.at(i) != asked) {
            continue;
        }
        const Problem& p = f.problems.at(i);
        if (p == problem) {
            return f.keys.at(i);
        }
        first = first < 0 ? i : first;
        if (worded < 0 && p.fullQuestion() == problem.fullQuestion() &&
            p.explanation == problem.explanation) {
            worded = i;
        }
    }
    const qsizetype at = worded >= 0 ? worded : first;
    return at >= 0 ? f.keys.at(at) : asked + QStringLiteral("-1");
}

QString ProblemIndex::seriesOf(const Problem& problem, const QStringList& seriesFiles)
{
    const QString asked = ProblemIds::asked(problem);
    for (const QString& series : seriesFiles) {
        if (!series.trimmed().isEmpty() && file(series).asked.contains(asked)) {
            return series;
        }
    }
    return {};
}

void ProblemIndex::update(Answer& answer)
{
    if (!ProblemIds::isTextHash(answer.problemHash) || answer.series.trimmed().isEmpty()) {
        return;
    }
    const QString old = answer.series + QLatin1Char('\n') + answer.problemHash;
    auto known = renamed_.constFind(old);
    if (known == renamed_.constEnd()) {
        const File& f = file(answer.series);
        const auto byText = f.byText.constFind(answer.problemHash);
        const qsizetype at =
            byText != f.byText.constEnd()
                ? *byText
                : f.asked.indexOf(ProblemIds::asked(answer.terms, answer.groups, answer.correct));
        known = renamed_.insert(old, at >= 0 ? f.keys.at(at) : QString());
    }
    if (!known->isEmpty()) {
        answer.problemHash = *known;
    }
}
