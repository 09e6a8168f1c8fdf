#include "server/teacher/ClassFits.h"

#include "server/http/ServerReplies.h"
#include "server/store/ClassSchedules.h"
#include "server/store/Store.h"

#include <QJsonArray>

ClassFits::ClassFits(QString workDir, QString url)
    : workDir_(std::move(workDir)), url_(std::move(url))
{
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start(QThread::LowPriority);
}

ClassFits::~ClassFits()
{
    // A connection is closed by the thread that opened it.
    QMetaObject::invokeMethod(
        worker_, [this] { store_.reset(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void ClassFits::ask(qint64 classId, bool fit, std::optional<double> retention,
                    HttpResponder respond)
{
    QMetaObject::invokeMethod(worker_,
                              [this, classId, fit, retention, respond = std::move(respond)] {
                                  respond(serve(classId, fit, retention));
                              });
}

namespace
{

// The class's parameters as kept: whether fitted, when, from how much.
QJsonObject keptJson(const ClassParameters::Kept& kept)
{
    return {{QStringLiteral("fitted"), kept.fitted()},
            {QStringLiteral("fittedAt"), kept.fittedAt.isValid()
                                             ? QJsonValue(kept.fittedAt.toString(Qt::ISODate))
                                             : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("reviews"), kept.reviews},
            {QStringLiteral("learners"), kept.learners},
            {QStringLiteral("retention"), kept.parameters.retention},
            {QStringLiteral("problem"), kept.problem}};
}

} // namespace

HttpReply ClassFits::serve(qint64 classId, bool fit, std::optional<double> retention)
{
    const QString down = QStringLiteral("記録を読めません。しばらくしてからもう一度試してください");
    if (!store_) {
        store_ = std::make_unique<Store>();
        Store::Options options;
        options.longReads = true;
        if (!store_->open(workDir_, url_, options).isEmpty()) {
            store_.reset(); // opened again next time: the database may be back
            return ServerReplies::unavailable(down);
        }
    }
    const ClassSchedules::Result r =
        ClassSchedules::fit(*store_, workDir_, classId, retention, fit);
    const std::optional<Store::KeptParameters> row =
        r.failure.isEmpty() ? store_->classParameters(classId) : std::nullopt;
    if (!row) {
        return ServerReplies::unavailable(r.failure.isEmpty() ? down : r.failure);
    }
    return ServerReplies::json(
        200, {{QStringLiteral("report"), r.report},
              {QStringLiteral("kept"), keptJson(ClassSchedules::parametersOf(*row))},
              {QStringLiteral("told"), fit || retention ? r.told : QString()}});
}
