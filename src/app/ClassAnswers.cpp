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

QString each(const QString& folder, const QString& database,
             const std::function<void(Answer&&)>& take, QList<ClassReport::LeftOut>* leftOut,
             std::optional<StoreReport::School>* school, QHash<QString, ClassOf>* classes)
{
    // Only a server's own file is opened: the check makes no store. It is
    // opened first, so that its classes are known before the logs' answers
    // are taken; the logs are read even when it cannot be.
    const bool server =
        !database.isEmpty() ||
        QFileInfo::exists(QDir(folder).filePath(QStringLiteral("velmorant.sqlite")));
    Store store;
    Store::Options options;
    options.readOnly = true;
    const QString failed = server ? store.open(folder, database, options) : QString();
    const bool opened = server && failed.isEmpty();
    if (opened && (school != nullptr || classes != nullptr)) {
        const StoreReport::School read = StoreReport::school(store);
        if (classes != nullptr) {
            *classes = classesOf(store, read);
        }
        if (school != nullptr) {
            *school = read;
        }
    }
    StatementIdSet seen;
    ClassFolder::eachAnswer(folder, take, leftOut, &seen);
    if (!opened) {
        return failed;
    }
    ClassFolder::Read stored = StoreReport::read(store);
    for (Answer& a : stored.answers) {
        if (seen.count(a.id) == 0) {
            take(std::move(a));
        }
    }
    *leftOut += stored.leftOut;
    return {};
}

QString read(const QString& folder, const QString& database, ClassFolder::Read* out,
             std::optional<StoreReport::School>* school, QHash<QString, ClassOf>* classes)
{
    *out = {};
    return each(
        folder, database, [out](Answer&& a) { out->answers.append(std::move(a)); }, &out->leftOut,
        school, classes);
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
