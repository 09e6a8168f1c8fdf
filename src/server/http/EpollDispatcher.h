#pragma once

#include <QAbstractEventDispatcher>

#include <atomic>
#include <set>
#include <unordered_map>
#include <utility>

// The server's main loop on epoll. Qt's own loops poll() every socket on
// each turn, and with a school's thousand keep-alive connections that scan
// was a quarter of the server's processor time; epoll hands back only the
// sockets that are ready. Timers are kept in order of when they are due.
// For one thread, as every dispatcher is; wakeUp() and interrupt() may be
// called from any thread.
class EpollDispatcher final : public QAbstractEventDispatcher
{
public:
    explicit EpollDispatcher(QObject* parent = nullptr);
    ~EpollDispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    // The notifiers of one descriptor, by their type (read, write,
    // exception); `listed` when epoll holds it, `refused` when epoll would
    // not take it (a plain file), which is then always ready.
    struct Watch {
        QSocketNotifier* notifiers[3] = {nullptr, nullptr, nullptr};
        bool listed = false;
        bool refused = false;
    };
    struct Timer {
        qint64 intervalMs = 0;
        Qt::TimerType type = Qt::CoarseTimer;
        QObject* object = nullptr;
        qint64 dueNs = 0;
        bool firing = false;
    };

    void relist(int fd);
    int waitMs(QEventLoop::ProcessEventsFlags flags) const;
    int activateSockets(const struct epoll_event* events, int count);
    bool activate(int fd, int type);
    int activateUnlisted();
    // How many wake-ups came since the last drain.
    quint64 drainWake();
    int fireTimers();
    void schedule(int timerId, Timer& timer, qint64 dueNs);

    int epoll_ = -1;
    int wake_ = -1;
    std::atomic<bool> interrupted_{false};
    // A wake-up was taken while waiting: its events are still to be sent.
    bool woken_ = false;
    std::unordered_map<int, Watch> watches_;
    int unlisted_ = 0;
    std::unordered_map<int, Timer> timers_;
    std::set<std::pair<qint64, int>> due_;
};
