#pragma once

#include "server/learner/Requests.h"
#include "server/store/Store.h"
#include "server/store/Workers.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class LearnerScreen;
class Store;
class TextMeasure;

// The learners' sessions on worker threads: each learner's requests run in
// the order they came, one at a time, and never hold up another learner's.
// Every action is one transaction with the learner's stored state, so any
// server process continues any learner, and nothing is answered before it
// is stored.
class LearnerSessions
{
public:
    struct Setup {
        QString workDir;
        QString homePage;
        const TextMeasure* measure = nullptr;
        const StoreThreads* stores = nullptr;
    };
    explicit LearnerSessions(Setup setup);
    ~LearnerSessions();
    LearnerSessions(const LearnerSessions&) = delete;
    LearnerSessions& operator=(const LearnerSessions&) = delete;

    struct Answer {
        int status = 200;
        QByteArray body;        // JSON
        int retryAfter = 0;     // seconds, for 429 and 503
        bool signedOut = false; // the session has ended
    };
    using Done = std::function<void(const Answer&)>;

    // Runs an action (read by VerbProtocol) or a look at the state for the
    // learner of the session `sessionHash`; `done` is called once, on a
    // worker thread.
    void act(const QString& learner, const QByteArray& sessionHash,
             const Requests::Command& command, Done done);
    void state(const QString& learner, const QByteArray& sessionHash, Done done);

    // Checks a learner may make in a second: faster than anyone sorts terms.
    // Counted from the store, so that servers sharing one count alike.
    static constexpr int ChecksPerSecond = 5;
    // Requests of one learner waiting their turn before more are refused.
    static constexpr int MaxWaiting = 32;
    // Sessions kept in memory; the others are read from the store again.
    static constexpr int MaxKept = 2000;

    // How long a session lasts after its latest action.
    void setSessionLength(qint64 ms) { sessionMs_ = ms; }

    // A removed learner's session in memory goes; one under way finds the
    // session gone from the store.
    void forget(const QString& learner);

    // Waits for every request under way (the server is stopping).
    void finish();

private:
    struct Desk;
    void submit(const QString& learner, bool look, std::function<void(Desk&)> job,
                const Done& refuse);
    void runOn(bool looks, const std::shared_ptr<Desk>& desk);
    void runQueue(bool looks, const std::shared_ptr<Desk>& desk);
    Answer run(Desk& desk, Store& store, const QByteArray& sessionHash, const Requests::Command* c);
    Answer apply(Desk& desk, Store& store, const Requests::Command& c, const Store::Start& start);
    Answer sentAgain(Desk& desk, Store& store, const Store::LearnerState& stored);
    static Answer signedOut(Desk& desk, Store& store);
    Answer failure(Desk& desk, Store& store, const QString& why);
    void bringUp(Desk& desk, Store& store, qint64 seq, const QByteArray& value);
    // A class round's problem in place of the learner's own (LearnerSessions.cpp's end).
    Answer runRound(Desk& desk, Store& store, const Store::Start& start,
                    const Requests::Command* c);
    QString bringUpRound(Desk& desk, Store& store, const Store::Round& round, qint64 seq);
    static QString saveRound(Store& store, Desk& desk, const Store::Round& round, bool checked);
    void dropIdle();

    Setup setup_;
    Workers workers_;
    Workers looks_;
    std::mutex mutex_;
    QHash<QString, std::shared_ptr<Desk>> desks_;
    qint64 ticks_ = 0;
    std::atomic<qint64> sessionMs_{30 * 60 * qint64(1000)};
};
