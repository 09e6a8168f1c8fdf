#pragma once

#include "lrs/LrsSender.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <memory>

class Store;

// Forwards the store's answer statements to a learning record store in the
// background: on a thread of its own, with its own connection to the store,
// it reads a batch, sends it, marks what the store accepted and waits, so
// that no answer waits for the network or for these reads and writes; the
// rest is tried again later with growing waits.
class LrsForwarder
{
public:
    static constexpr int BatchSize = 50;
    static constexpr int IdleMs = 2000;
    static constexpr int LongestWaitMs = 5 * 60 * 1000;

    // The store as Store::open takes it.
    LrsForwarder(QString workDir, QString url, LrsSender::Settings settings);
    ~LrsForwarder();
    LrsForwarder(const LrsForwarder&) = delete;
    LrsForwarder& operator=(const LrsForwarder&) = delete;

private:
    // On thread_:
    void tick();
    // The batch's outcome marked; false when the store failed.
    bool mark(const QList<Answer>& batch, const QList<QUuid>& accepted, bool stopped);
    void wait(bool stopped, bool more);

    const QString workDir_;
    const QString url_;
    QThread thread_;
    QObject* worker_ = nullptr; // lives on thread_, with timer_
    // Made, used and ended on thread_.
    std::unique_ptr<LrsSender> sender_;
    std::unique_ptr<Store> store_;
    QTimer* timer_ = nullptr;
    int waitMs_ = IdleMs;
};
