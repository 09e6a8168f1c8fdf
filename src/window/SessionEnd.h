#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// The ends a desktop session gives a program: SIGTERM (logout, shutdown),
// SIGHUP (the terminal went away), SIGINT (Ctrl+C in the terminal that
// started it) and the session manager's request to save before logging out. Each runs `onEnd` once
// the event loop is back, where a handler may write files and show windows as after any other
// event. One at a time per process.
class SessionEnd : public QObject
{
public:
    explicit SessionEnd(std::function<void()> onEnd);
    ~SessionEnd() override;
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

private:
    void signalled();
    void end();

    std::function<void()> onEnd_;
    QSocketNotifier* notifier_ = nullptr;
    bool ending_ = false;
};
