#include "app/ClassAnswers.h"

#include "record/StatementIds.h"
#include "server/admin/FolderSettings.h"
#include "server/store/ClassSchedules.h"
#include "server/store/Store.h"
#include "server/store/StoreReport.h"

#include <QDir>
#include <QFileInfo>

namespace ClassAnswers
{

namespace
{

QHash<QString, ClassOf> classesOf(Store& store, const StoreReport::School& school)
{
    QHash<qint64, ClassParameters::Kept> kept;
    QHash<QString, ClassOf> out;
    for (const Store::Learner& l : store.learners().value_or(QList<Store::Learner>{})) {
        if (!kept.contains(l.classId)) {
            kept.insert(l.classId,
                        ClassSchedules::parametersOf(
                            store.classParameters(l.classId).value_or(Store::KeptParameters{})));
        }
        out.insert(school.shown.value(l.key, l.key), {l.className, kept.value(l.classId)});
    }
    return out;
}

} // namespace

QString read(const QString& folder, const QString& database, ClassFolder::Read* out,
             std::optional<StoreReport::School>* school, QHash<QString, ClassOf>* classes)
{
    *out = ClassFolder::read(folder);
    // Only a server's own file is opened: the check makes no store.
    if (database.isEmpty() &&
        !QFileInfo::exists(QDir(folder).filePath(QStringLiteral("velmorant.sqlite")))) {
        return {};
    }
    Store store;
    Store::Options options;
    options.readOnly = true;
    if (QString failed = store.open(folder, database, options); !failed.isEmpty()) {
        return failed;
    }
    ClassFolder::Read stored = StoreReport::read(store);
    if (school != nullptr || classes != nullptr) {
        const StoreReport::School read = StoreReport::school(store);
        if (classes != nullptr) {
            *classes = classesOf(store, read);
        }
        if (school != nullptr) {
            *school = read;
        }
    }
    StatementIdSet seen;
    for (const Answer& a : std::as_const(out->answers)) {
        seen.insert(a.id);
    }
    for (Answer& a : stored.answers) {
        if (seen.count(a.id) == 0) {
            out->answers.append(std::move(a));
        }
    }
    out->leftOut += stored.leftOut;
    return {};
}

QString folderDatabase(const QString& folder, QString* database)
{
    const FolderSettings::Settings settings = FolderSettings::read(folder);
    if (!settings.error.isEmpty()) {
        return settings.error;
    }
    ServerCommandLine::Request r;
    r.database = *database;
    if (!database->isEmpty()) {
        r.given.append(QStringLiteral("--database"));
    }
    if (const QString why = FolderSettings::merge(settings, r); !why.isEmpty()) {
        return why;
    }
    *database = r.database;
    return {};
}

} // namespace ClassAnswers
