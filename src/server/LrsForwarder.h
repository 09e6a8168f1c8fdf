#pragma once

#include "lrs/LrsSender.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <memory>

class Store;

// Forwards the store's answer statements to a learning record store in the
// background: batches go out on a thread of their own, so that no answer
// waits for the network; what the store accepted is marked in the store,
// the rest is tried again later with growing waits.
class LrsForwarder : public QObject
{
public:
    static constexpr int BatchSize = 50;
    static constexpr int IdleMs = 2000;
    static constexpr int LongestWaitMs = 5 * 60 * 1000;

    LrsForwarder(Store& store, LrsSender::Settings settings);
    ~LrsForwarder() override;

private:
    void tick();
    void sent(const QList<Answer>& batch, const QList<QUuid>& accepted, bool stopped,
              const QStringList& problems);

    Store& store_;
    QThread thread_;
    QObject* worker_ = nullptr;         // lives on thread_
    std::unique_ptr<LrsSender> sender_; // made, used and ended on thread_
    QTimer timer_;
    int waitMs_ = IdleMs;
    bool busy_ = false;
};
