#pragma once

#include "record/ClassParameters.h"
#include "report/ClassFolder.h"
#include "server/store/StoreReport.h"

#include <QHash>
#include <QString>

#include <functional>
#include <optional>

// A class's answers in a work folder as velmorant-check reads them: the
// learners' logs in records/ and, on a server's folder, the statements of
// its store (the folder's velmorant.sqlite, or the PostgreSQL database
// named as velmorant-server takes it).
namespace ClassAnswers
{

// A learner's class in the store, and its review parameters.
struct ClassOf {
    QString name;
    ClassParameters::Kept kept;
};

// Every statement once, the logs' first, then the store's. Returns "" or
// why the store cannot be read. With `school`, the store's learners in the
// school's order, when there is a store; with `classes`, each of them (by
// the name their answers carry) with their class.
QString read(const QString& folder, const QString& database, ClassFolder::Read* out,
             std::optional<StoreReport::School>* school = nullptr,
             QHash<QString, ClassOf>* classes = nullptr);

// The same answers given to `take` one by one as they are read, none held
// once taken; what is left out goes to `leftOut`. `school` and `classes`
// are set before the first answer is taken.
QString each(const QString& folder, const QString& database,
             const std::function<void(Answer&&)>& take, QList<ClassReport::LeftOut>* leftOut,
             std::optional<StoreReport::School>* school = nullptr,
             QHash<QString, ClassOf>* classes = nullptr);

// The database velmorant-server keeps the folder's answers in: the one its
// velmorant.conf names, else `*database` as given. A given one that differs
// from the file's is refused, as the server refuses it, so that the check
// never reads another store. Returns "" or why not, in Japanese.
QString folderDatabase(const QString& folder, QString* database);

} // namespace ClassAnswers
