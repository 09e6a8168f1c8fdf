#pragma once

#include "report/ClassFolder.h"
#include "report/ClassReport.h"

#include <QHash>
#include <QString>

#include <optional>

class Store;

// The class report of every learner's statements in a server's store, as
// the teacher's page and velmorant-check --report give it.
namespace StoreReport
{

// How each learner of the classes `classIds` (none: of every class) is
// shown, by key: their name, with their class's when the store has several.
QHash<QString, QString> shownNames(Store& store,
                                   const std::optional<QList<qint64>>& classIds = std::nullopt);

// Whose statements are read, and how each learner is named.
struct Learners {
    QHash<QString, QString> shown; // by key; a learner not in it keeps their key
    bool onlyShown = false;        // else every learner's statements
};

// The statements of `who` (by default every learner, as shownNames names
// them), by learner and time; a statement that cannot be read is told among
// what was left out.
ClassFolder::Read read(Store& store, const std::optional<Learners>& who = std::nullopt);

// The report of read(store, who), its problems checked against the series
// files of `workDir`.
ClassReport::Report of(Store& store, const QString& workDir,
                       const std::optional<Learners>& who = std::nullopt);

} // namespace StoreReport
