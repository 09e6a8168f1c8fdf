#include "server/LrsForwarder.h"

#include "record/Statements.h"
#include "server/Store.h"

#include <cstdio>

LrsForwarder::LrsForwarder(Store& store, LrsSender::Settings settings) : store_(store)
{
    // Each batch is tried once; the waits between tries are the timer's, so
    // that ending the server never waits for them.
    settings.tries = 1;
    settings.batchSize = BatchSize;
    settings.timeoutMs = 10000;
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(
        worker_, [this, settings] { sender_ = std::make_unique<LrsSender>(settings); });
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &LrsForwarder::tick);
    timer_.start(0);
}

LrsForwarder::~LrsForwarder()
{
    timer_.stop();
    QMetaObject::invokeMethod(
        worker_, [this] { sender_.reset(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void LrsForwarder::tick()
{
    if (busy_) {
        return;
    }
    StatementReader reader;
    QList<Answer> batch;
    QStringList unreadable;
    for (const QByteArray& line : store_.unsentStatements(BatchSize)) {
        QString why;
        if (std::optional<Answer> a = reader.parse(line, &why)) {
            batch.append(std::move(*a));
        } else {
            std::fprintf(stderr, "velmorant-server: %s\n", qUtf8Printable(why));
        }
    }
    if (batch.isEmpty()) {
        timer_.start(IdleMs);
        return;
    }
    busy_ = true;
    QMetaObject::invokeMethod(worker_, [this, batch] {
        QList<QUuid> accepted;
        LrsSender::Summary summary;
        const bool going = sender_->sendBatch(batch, &accepted, &summary);
        QMetaObject::invokeMethod(this,
                                  [this, batch, accepted, going, problems = summary.problems] {
                                      sent(batch, accepted, !going, problems);
                                  });
    });
}

void LrsForwarder::sent(const QList<Answer>& batch, const QList<QUuid>& accepted, bool stopped,
                        const QStringList& problems)
{
    busy_ = false;
    for (const QString& problem : problems) {
        std::fprintf(stderr, "velmorant-server: %s\n", qUtf8Printable(problem));
    }
    QStringList acceptedIds;
    QStringList refusedIds;
    for (const Answer& a : batch) {
        const QString id = a.id.toString(QUuid::WithoutBraces);
        (accepted.contains(a.id) ? acceptedIds : refusedIds).append(id);
    }
    QString failed = store_.setLrsState(acceptedIds, Store::LrsState::Accepted);
    // A statement the store refuses on its own is not sent again; one
    // not tried because the store went down is.
    if (!stopped && failed.isEmpty()) {
        failed = store_.setLrsState(refusedIds, Store::LrsState::Refused);
    }
    if (!failed.isEmpty()) {
        std::fprintf(stderr, "velmorant-server: %s\n", qUtf8Printable(failed));
    }
    waitMs_ = stopped ? std::min(waitMs_ * 2, LongestWaitMs) : IdleMs;
    timer_.start(stopped || batch.size() < BatchSize ? waitMs_ : 0);
}
