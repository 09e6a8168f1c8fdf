#pragma once

#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>

class Store;

// Each worker thread's own connection to the store: a connection belongs to
// the thread that opened it. One that failed is opened again next time, so
// a database started again is used again.
class StoreThreads
{
public:
    StoreThreads(QString workDir, QString url);
    // This thread's store, or nullptr with *failure set.
    Store* here(QString* failure) const;
    // Drops this thread's connection after a failure.
    void forget() const;
    // The store takes one writer at a time (SQLite's file).
    bool oneWriter() const { return url_.isEmpty(); }

private:
    QString workDir_;
    QString url_;
    // Tells this set of connections from an earlier one at the same address.
    quint64 id_;
};

// Threads for work that must not hold up the event loop: the store's reads
// and writes, and hashing. At most `maxWaiting` tasks wait; beyond, run()
// refuses, so that a flood is answered at once instead of queued for ever.
// Background workers run at a lower priority than the answers.
class Workers
{
public:
    Workers(const StoreThreads& stores, int threads, int maxWaiting, bool background);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // `work` gets this thread's store, or nullptr and why it could not be
    // opened. False when too many tasks wait already.
    using Work = std::function<void(Store* store, const QString& failure)>;
    bool run(Work work);
    // Waits for every task, each thread closing its own connection.
    void finish();

private:
    const StoreThreads& stores_;
    QThreadPool pool_;
    int maxWaiting_;
    bool background_;
    std::atomic<int> waiting_{0};
};
