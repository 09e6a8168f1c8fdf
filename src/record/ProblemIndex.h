#pragma once

#include "record/Answer.h"
#include "series/Problem.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The problems of a work folder's series files by their keys (ProblemIds),
// each file read again only once it has changed. It finds the problems a
// record names, gives a problem on the board its key, names the old ids of
// a log as the files name their problems now, and finds which series a
// marked problem came from.
class ProblemIndex
{
public:
    explicit ProblemIndex(QString folder) : folder_(std::move(folder)) {}

    // The problem of series file `series` (as the catalogue names it) with
    // this key; an old key (the hash of the whole text) while the file still
    // holds that text. None once the file no longer holds it.
    std::optional<Problem> find(const QString& series, const QString& key);
    // The key of `problem` in series file `series`: of the problems there
    // asking the same, the one it was read as, else the one worded as it is,
    // else the first; as the first of them when the file holds none.
    QString keyOf(const QString& series, const Problem& problem);
    // The first of `seriesFiles` holding a problem that asks what `problem`
    // asks; empty when none does.
    QString seriesOf(const Problem& problem, const QStringList& seriesFiles);
    // Gives an answer under an old id the key its problem has now: found by
    // the text it was answered in, else by what it asks. An answer whose
    // problem the file no longer holds keeps its id.
    void update(Answer& answer);

private:
    struct File {
        QList<Problem> problems;
        QStringList asked; // beside problems: what each asks (ProblemIds::asked)
        QStringList keys;  // beside problems
        QHash<QString, qsizetype> byKey;
        QHash<QString, qsizetype> byText; // the old keys
    };
    // The file's index as the file is now, shared by every index of the
    // process while the file stays unchanged.
    const File& file(const QString& series);

    QString folder_;
    QHash<QString, std::shared_ptr<const File>> files_;
    // Series and old key -> the key now, "" for none: a log holds many
    // answers to one problem, and its file need not be looked at for each.
    QHash<QString, QString> renamed_;
};
