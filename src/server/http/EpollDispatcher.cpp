#include "server/http/EpollDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>

#include <cerrno>
#include <climits>
#include <ctime>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace
{

qint64 nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

constexpr qint64 NsPerMs = 1000000;

// What epoll reports that sets off a notifier of each type: a hang-up or an
// error wakes every kind, so that the socket's owner finds out.
constexpr uint32_t Sets[3] = {EPOLLIN | EPOLLHUP | EPOLLERR, EPOLLOUT | EPOLLHUP | EPOLLERR,
                              EPOLLPRI | EPOLLHUP | EPOLLERR};
constexpr uint32_t Asks[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};

} // namespace

EpollDispatcher::EpollDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent), epoll_(epoll_create1(EPOLL_CLOEXEC)),
      wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (epoll_ < 0 || wake_ < 0) {
        qFatal("epoll or eventfd is not available: %s", strerror(errno));
    }
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = wake_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &e);
}

EpollDispatcher::~EpollDispatcher()
{
    ::close(wake_);
    ::close(epoll_);
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    interrupted_.store(false);
    Q_EMIT awake();
    // Every posted event wakes the loop; when one has, the events just sent
    // are this turn's work and the loop does not go on to sleep.
    const bool wokenWaiting = std::exchange(woken_, false);
    const bool posted = drainWake() > 0 || wokenWaiting;
    QCoreApplication::sendPostedEvents();
    if (interrupted_.load()) {
        return false;
    }
    const int timeout = posted ? 0 : waitMs(flags);
    if (timeout != 0) {
        Q_EMIT aboutToBlock();
    }
    int handled = posted ? 1 : 0;
    if (flags.testFlag(QEventLoop::ExcludeSocketNotifiers)) {
        // Only a wake-up or a timer ends this wait.
        pollfd wake{wake_, POLLIN, 0};
        if (::poll(&wake, 1, timeout) > 0) {
            woken_ = drainWake() > 0;
        }
    } else {
        epoll_event events[256];
        const int count = epoll_wait(epoll_, events, 256, timeout);
        // Interrupted by a signal, count is -1: the caller turns again.
        handled += activateSockets(events, std::max(count, 0)) + activateUnlisted();
    }
    if (!flags.testFlag(QEventLoop::X11ExcludeTimers)) {
        handled += fireTimers();
    }
    return handled > 0;
}

// How long the loop may sleep: not at all when asked not to wait, when
// interrupted or when a plain file is watched; else until the next timer.
int EpollDispatcher::waitMs(QEventLoop::ProcessEventsFlags flags) const
{
    if (!flags.testFlag(QEventLoop::WaitForMoreEvents) || interrupted_.load() || unlisted_ > 0) {
        return 0;
    }
    if (due_.empty()) {
        return -1;
    }
    const qint64 left = due_.begin()->first - nowNs();
    if (left <= 0) {
        return 0;
    }
    return int(std::min<qint64>((left + NsPerMs - 1) / NsPerMs, INT_MAX));
}

int EpollDispatcher::activateSockets(const epoll_event* events, int count)
{
    int handled = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        if (fd == wake_) {
            woken_ = drainWake() > 0;
            ++handled;
            continue;
        }
        for (int type = 0; type < 3; ++type) {
            if ((events[i].events & Sets[type]) != 0) {
                handled += activate(fd, type) ? 1 : 0;
            }
        }
    }
    return handled;
}

// A notifier set off earlier in this turn may have taken this one away, or
// another on the same descriptor: each is looked up again before it is sent.
bool EpollDispatcher::activate(int fd, int type)
{
    const auto found = watches_.find(fd);
    if (found == watches_.end() || found->second.notifiers[type] == nullptr) {
        return false;
    }
    QEvent activated(QEvent::SockAct);
    QCoreApplication::sendEvent(found->second.notifiers[type], &activated);
    return true;
}

int EpollDispatcher::activateUnlisted()
{
    if (unlisted_ == 0) {
        return 0;
    }
    QList<std::pair<int, int>> ready;
    for (const auto& [fd, watch] : watches_) {
        for (int type = 0; type < 3; ++type) {
            if (watch.refused && watch.notifiers[type] != nullptr) {
                ready.append({fd, type});
            }
        }
    }
    int handled = 0;
    for (const auto& [fd, type] : ready) {
        handled += activate(fd, type) ? 1 : 0;
    }
    return handled;
}

void EpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier)
{
    const int fd = int(notifier->socket());
    if (fd < 0) {
        return;
    }
    Watch& watch = watches_[fd];
    watch.notifiers[int(notifier->type())] = notifier;
    relist(fd);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier)
{
    const auto found = watches_.find(int(notifier->socket()));
    if (found == watches_.end() || found->second.notifiers[int(notifier->type())] != notifier) {
        return;
    }
    found->second.notifiers[int(notifier->type())] = nullptr;
    relist(found->first);
}

// Tells epoll what the descriptor's notifiers ask for now. The descriptor
// may have been closed and its number given out again since epoll last
// heard of it, so an update that finds it missing adds it, and the other
// way round.
void EpollDispatcher::relist(int fd)
{
    Watch& watch = watches_[fd];
    epoll_event e{};
    e.data.fd = fd;
    for (int type = 0; type < 3; ++type) {
        e.events |= watch.notifiers[type] ? Asks[type] : 0;
    }
    if (e.events == 0) {
        if (watch.listed) {
            epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        }
        unlisted_ -= watch.refused ? 1 : 0;
        watches_.erase(fd);
        return;
    }
    const int first = watch.listed ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    int done = epoll_ctl(epoll_, first, fd, &e);
    if (done < 0 && (errno == ENOENT || errno == EEXIST)) {
        done = epoll_ctl(epoll_, first == EPOLL_CTL_MOD ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &e);
    }
    watch.listed = done == 0;
    // A plain file cannot be watched by epoll; poll() reports it always
    // ready, and so does this loop.
    if (watch.refused == watch.listed) {
        watch.refused = !watch.listed;
        unlisted_ += watch.refused ? 1 : -1;
    }
}

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                    QObject* object)
{
    Timer& timer = timers_[timerId];
    timer.intervalMs = std::max<qint64>(interval, 0);
    timer.type = timerType;
    timer.object = object;
    timer.firing = false;
    schedule(timerId, timer, nowNs() + timer.intervalMs * NsPerMs);
}

void EpollDispatcher::schedule(int timerId, Timer& timer, qint64 dueNs)
{
    due_.erase({timer.dueNs, timerId});
    timer.dueNs = dueNs;
    due_.insert({dueNs, timerId});
}

bool EpollDispatcher::unregisterTimer(int timerId)
{
    const auto found = timers_.find(timerId);
    if (found == timers_.end()) {
        return false;
    }
    due_.erase({found->second.dueNs, timerId});
    timers_.erase(found);
    return true;
}

bool EpollDispatcher::unregisterTimers(QObject* object)
{
    bool any = false;
    for (auto t = timers_.begin(); t != timers_.end();) {
        if (t->second.object == object) {
            due_.erase({t->second.dueNs, t->first});
            t = timers_.erase(t);
            any = true;
        } else {
            ++t;
        }
    }
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo> EpollDispatcher::registeredTimers(QObject* object) const
{
    QList<TimerInfo> found;
    for (const auto& [id, timer] : timers_) {
        if (timer.object == object) {
            found.append(TimerInfo(id, int(timer.intervalMs), timer.type));
        }
    }
    return found;
}

int EpollDispatcher::remainingTime(int timerId)
{
    const auto found = timers_.find(timerId);
    if (found == timers_.end()) {
        return -1;
    }
    const qint64 left = found->second.dueNs - nowNs();
    return left <= 0 ? 0 : int((left + NsPerMs - 1) / NsPerMs);
}

// Each timer due now fires once: one set again for no time at all fires on
// the next turn, not over and over in this one. A timer whose handler is
// still running (it turned the loop itself) waits for it to return.
int EpollDispatcher::fireTimers()
{
    const qint64 now = nowNs();
    QList<int> dueNow;
    for (auto d = due_.begin(); d != due_.end() && d->first <= now; ++d) {
        dueNow.append(d->second);
    }
    int fired = 0;
    for (const int id : dueNow) {
        auto found = timers_.find(id);
        if (found == timers_.end() || found->second.firing) {
            continue;
        }
        Timer& timer = found->second;
        // The next time counts from when this one was due, so a timer keeps
        // its beat; one that fell behind starts again from now.
        qint64 next = timer.dueNs + timer.intervalMs * NsPerMs;
        schedule(id, timer, next <= now ? now + timer.intervalMs * NsPerMs : next);
        timer.firing = true;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(timer.object, &event);
        ++fired;
        found = timers_.find(id);
        if (found != timers_.end()) {
            found->second.firing = false;
        }
    }
    return fired;
}

quint64 EpollDispatcher::drainWake()
{
    quint64 wakes = 0;
    return ::read(wake_, &wakes, sizeof wakes) == sizeof wakes ? wakes : 0;
}

void EpollDispatcher::wakeUp()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t put = ::write(wake_, &one, sizeof one);
}

void EpollDispatcher::interrupt()
{
    interrupted_.store(true);
    wakeUp();
}
