#include "window/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// A signal handler may only write to a descriptor: the byte wakes the event
// loop, which does the real work.
int wakeFds[2] = {-1, -1};

void onSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[0], &byte, 1);
}

void catchSignal(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

} // namespace

SessionEnd::SessionEnd(std::function<void()> onEnd) : onEnd_(std::move(onEnd))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFds) == 0) {
        ::fcntl(wakeFds[0], F_SETFL, O_NONBLOCK);
        ::fcntl(wakeFds[1], F_SETFL, O_NONBLOCK);
        notifier_ = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &SessionEnd::signalled);
        catchSignal(SIGTERM, onSignal);
        catchSignal(SIGHUP, onSignal);
        catchSignal(SIGINT, onSignal);
    }
    // Answered after the session manager's request returns: it expects the
    // program to go on until it is told to end.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager& /*manager*/) {
                QMetaObject::invokeMethod(this, &SessionEnd::end, Qt::QueuedConnection);
            });
}

SessionEnd::~SessionEnd()
{
    if (notifier_ != nullptr) {
        catchSignal(SIGTERM, SIG_DFL);
        catchSignal(SIGHUP, SIG_DFL);
        catchSignal(SIGINT, SIG_DFL);
        ::close(wakeFds[0]);
        ::close(wakeFds[1]);
        wakeFds[0] = wakeFds[1] = -1;
    }
}

void SessionEnd::signalled()
{
    char bytes[16];
    while (::read(wakeFds[1], bytes, sizeof bytes) > 0) {
    }
    end();
}

void SessionEnd::end()
{
    // A second signal while the first is still being answered (a message
    // box asking about marks that could not be written) changes nothing.
    if (ending_) {
        return;
    }
    ending_ = true;
    onEnd_();
    ending_ = false;
}
