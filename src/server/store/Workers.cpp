#include "server/store/Workers.h"

#include "server/store/Store.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

// This thread's connection, and whose it is.
thread_local std::unique_ptr<Store> threadStore;
thread_local quint64 threadStoreOwner = 0;
thread_local bool threadLowered = false;
std::atomic<quint64> storeThreadsMade{0};

} // namespace

StoreThreads::StoreThreads(QString workDir, QString url)
    : workDir_(std::move(workDir)), url_(std::move(url)), id_(++storeThreadsMade)
{
}

Store* StoreThreads::here(QString* failure) const
{
    if (!threadStore || threadStoreOwner != id_) {
        auto store = std::make_unique<Store>();
        // A request is answered within about a second, whatever another
        // program holds.
        Store::Options options;
        options.writeWaitMs = Store::ServerWriteWaitMs;
        if (const QString failed = store->open(workDir_, url_, options); !failed.isEmpty()) {
            *failure = failed;
            return nullptr;
        }
        threadStore = std::move(store);
        threadStoreOwner = id_;
    }
    return threadStore.get();
}

void StoreThreads::forget() const
{
    threadStore.reset();
    threadStoreOwner = 0;
}

Workers::Workers(const StoreThreads& stores, int threads, int maxWaiting, bool background)
    : stores_(stores), maxWaiting_(maxWaiting), background_(background)
{
    pool_.setMaxThreadCount(threads);
    // A thread kept keeps its connection.
    pool_.setExpiryTimeout(-1);
}

Workers::~Workers()
{
    finish();
}

bool Workers::run(Work work)
{
    if (++waiting_ > maxWaiting_) {
        --waiting_;
        return false;
    }
    pool_.start([this, work = std::move(work)] {
        --waiting_;
        if (background_ && !threadLowered) {
            // Linux's nice value is each thread's own.
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
            threadLowered = true;
        }
        QString failed;
        Store* store = stores_.here(&failed);
        work(store, failed);
    });
    return true;
}

void Workers::finish()
{
    // Each worker closes its own connection on its own thread, before the
    // thread ends: its thread-local store would otherwise go only after the
    // thread has been waited for, when the program may be gone already. One
    // task a thread, each held until all have started.
    const int threads = pool_.maxThreadCount();
    int started = 0;
    std::mutex m;
    std::condition_variable allStarted;
    for (int i = 0; i < threads; ++i) {
        pool_.start([&] {
            std::unique_lock<std::mutex> lock(m);
            ++started;
            allStarted.notify_all();
            allStarted.wait(lock, [&] { return started == threads; });
            stores_.forget();
        });
    }
    pool_.waitForDone();
}
