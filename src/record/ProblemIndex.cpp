#include "record/ProblemIndex.h"

#include "files/FileCache.h"
#include "files/FileLookup.h"
#include "record/ProblemId.h"
#include "series/SeriesLoader.h"

#include <QFileInfo>

const ProblemIndex::File& ProblemIndex::file(const QString& series)
{
    // One index of a file for every learner's board, while the file stays.
    static FileCache<std::shared_ptr<const File>> indexed(256);
    std::shared_ptr<const File>& held = files_[series];
    held = indexed.get(FileLookup::resolve(folder_, series), [](const QString& path) {
        auto made = std::make_shared<File>();
        if (QFileInfo::exists(path)) {
            made->problems = SeriesLoader::load(path).usable;
            made->keys = ProblemIds::keysOf(made->problems);
            for (qsizetype i = 0; i < made->problems.size(); ++i) {
                made->asked.append(ProblemIds::asked(made->problems.at(i)));
                made->byKey.insert(made->keys.at(i), i);
                made->byText.insert(ProblemIds::textHash(made->problems.at(i)), i);
            }
        }
        return std::shared_ptr<const File>(std::move(made));
    });
    return *held;
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
