#include "server/admin/LrsForwarder.h"

#include "record/Statements.h"
#include "server/store/Store.h"

#include <cstdio>

namespace
{

void tell(const QString& what)
{
    std::fprintf(stderr, "velmorant-server: %s\n", qUtf8Printable(what));
}

} // namespace

LrsForwarder::LrsForwarder(QString workDir, QString url, LrsSender::Settings settings)
    : workDir_(std::move(workDir)), url_(std::move(url))
{
    // Each batch is tried once; the waits between tries are the timer's, so
    // that ending the server never waits for them.
    settings.tries = 1;
    settings.batchSize = BatchSize;
    settings.timeoutMs = 10000;
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(worker_, [this, settings] {
        sender_ = std::make_unique<LrsSender>(settings);
        timer_ = new QTimer(worker_);
        timer_->setSingleShot(true);
        QObject::connect(timer_, &QTimer::timeout, worker_, [this] { tick(); });
        timer_->start(0);
    });
}

LrsForwarder::~LrsForwarder()
{
    // A connection is closed by the thread that opened it.
    QMetaObject::invokeMethod(
        worker_,
        [this] {
            timer_->stop();
            sender_.reset();
            store_.reset();
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void LrsForwarder::tick()
{
    if (!store_) {
        store_ = std::make_unique<Store>();
        if (const QString failed = store_->open(workDir_, url_); !failed.isEmpty()) {
            tell(failed);
            store_.reset();
            wait(true, false);
            return;
        }
    }
    StatementReader reader;
    QList<Answer> batch;
    QString failed;
    for (const QByteArray& line : store_->unsentStatements(BatchSize, &failed)) {
        QString why;
        if (std::optional<Answer> a = reader.parse(line, &why)) {
            batch.append(std::move(*a));
        } else {
            tell(why);
        }
    }
    if (!failed.isEmpty() || batch.isEmpty()) {
        // A store that failed is opened again: the database may be back.
        if (!failed.isEmpty()) {
            store_.reset();
        }
        wait(!failed.isEmpty(), false);
        return;
    }
    QList<QUuid> accepted;
    LrsSender::Summary summary;
    const bool going = sender_->sendBatch(batch, &accepted, &summary);
    for (const QString& problem : std::as_const(summary.problems)) {
        tell(problem);
    }
    const bool marked = mark(batch, accepted, !going);
    wait(!going || !marked, batch.size() == BatchSize);
}

bool LrsForwarder::mark(const QList<Answer>& batch, const QList<QUuid>& accepted, bool stopped)
{
    QStringList acceptedIds;
    QStringList refusedIds;
    for (const Answer& a : batch) {
        const QString id = a.id.toString(QUuid::WithoutBraces);
        (accepted.contains(a.id) ? acceptedIds : refusedIds).append(id);
    }
    QString failed = store_->setLrsState(acceptedIds, Store::LrsState::Accepted);
    // A statement the store refuses on its own is not sent again; one
    // not tried because the store went down is.
    if (!stopped && failed.isEmpty()) {
        failed = store_->setLrsState(refusedIds, Store::LrsState::Refused);
    }
    if (!failed.isEmpty()) {
        tell(failed);
        store_.reset();
    }
    return failed.isEmpty();
}

void LrsForwarder::wait(bool stopped, bool more)
{
    waitMs_ = stopped ? std::min(waitMs_ * 2, LongestWaitMs) : IdleMs;
    timer_->start(stopped || !more ? waitMs_ : 0);
}
