// The server's epoll loop (the whole of server_tests runs on it): timers,
// socket notifiers and events posted from other threads.
#include "server/http/EpollDispatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

// Turns the loop until `done` or `ms` pass.
template <typename Done> bool turnUntil(Done done, int ms = 2000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return done();
}

struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd); }
    ~SocketPair()
    {
        for (int f : fd) {
            if (f >= 0) {
                ::close(f);
            }
        }
    }
};

} // namespace

TEST(EpollDispatcher, RunsTheServersLoop)
{
    EXPECT_NE(dynamic_cast<EpollDispatcher*>(QCoreApplication::eventDispatcher()), nullptr);
}

// A repeating timer keeps firing until stopped; one stopped by another's
// handler before it is due never fires; a zero timer fires once a turn.
TEST(EpollDispatcher, FiresTimersUntilTheyAreStopped)
{
    int ticks = 0;
    int late = 0;
    int zero = 0;
    QTimer repeating;
    repeating.setInterval(5);
    QTimer killed;
    killed.setSingleShot(true);
    killed.setInterval(30);
    QTimer idle;
    idle.setInterval(0);
    QObject::connect(&repeating, &QTimer::timeout, [&] {
        if (++ticks == 3) {
            killed.stop();
            repeating.stop();
        }
    });
    QObject::connect(&killed, &QTimer::timeout, [&] { ++late; });
    QObject::connect(&idle, &QTimer::timeout, [&] {
        if (++zero == 5) {
            idle.stop();
        }
    });
    repeating.start();
    killed.start();
    idle.start();
    EXPECT_GT(killed.remainingTime(), 0);
    ASSERT_TRUE(turnUntil([&] { return ticks >= 3 && zero >= 5; }));
    turnUntil([] { return false; }, 60);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(late, 0);
    EXPECT_EQ(zero, 5);
}

// Data, a hang-up and a notifier taken away by another's handler on the
// same descriptor: each reaches only the notifiers still there.
TEST(EpollDispatcher, ActivatesOnlyTheNotifiersStillWatching)
{
    SocketPair pair;
    auto reader = std::make_unique<QSocketNotifier>(pair.fd[0], QSocketNotifier::Read);
    auto writer = std::make_unique<QSocketNotifier>(pair.fd[0], QSocketNotifier::Write);
    int reads = 0;
    int writes = 0;
    QObject::connect(reader.get(), &QSocketNotifier::activated, [&] {
        ++reads;
        char buffer[16];
        while (::read(pair.fd[0], buffer, sizeof buffer) > 0) {
        }
        writer.reset();
    });
    QObject::connect(writer.get(), &QSocketNotifier::activated, [&] {
        ++writes;
        writer->setEnabled(false);
    });
    // Writable at once, nothing to read yet.
    ASSERT_TRUE(turnUntil([&] { return writes == 1; }));
    EXPECT_EQ(reads, 0);
    writer->setEnabled(true);
    // Readable and writable in one turn: the reader goes first and takes
    // the writer away, whose activation must not be delivered.
    ASSERT_EQ(::write(pair.fd[1], "x", 1), 1);
    ASSERT_TRUE(turnUntil([&] { return reads == 1; }));
    turnUntil([] { return false; }, 30);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(writer, nullptr);
    // The other end closes: the reader hears of it.
    ::close(pair.fd[1]);
    pair.fd[1] = -1;
    ASSERT_TRUE(turnUntil([&] { return reads >= 2; }));
    reader->setEnabled(false);
    const int heard = reads;
    turnUntil([] { return false; }, 30);
    EXPECT_EQ(reads, heard);
}

// A call queued from another thread wakes a loop asleep with nothing due,
// and the turn that runs it returns rather than sleeping on (a second call,
// later, would end such a sleep: it must not be the one that does).
TEST(EpollDispatcher, WakesForWorkFromAnotherThreadAndReturns)
{
    QObject target;
    bool arrived = false;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QMetaObject::invokeMethod(
            &target, [&] { arrived = true; }, Qt::QueuedConnection);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        QMetaObject::invokeMethod(
            &target, [] {}, Qt::QueuedConnection);
    });
    QElapsedTimer clock;
    clock.start();
    while (!arrived) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const qint64 tookMs = clock.elapsed();
    other.join();
    QCoreApplication::processEvents();
    EXPECT_LT(tookMs, 500);
}
