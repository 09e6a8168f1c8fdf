#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Does on a thread of its own the slow first steps that the window's first
// frame would otherwise wait for. While Qt sets up the application: the
// font configuration, the code page's conversion tables and the program's
// pictures. Once the application is ready: the fallback lists of the
// window's faces, which every thread shares.
//
// Start it first thing and call applicationReady() once the QApplication
// exists and the font substitutions are installed (Qt does not guard them
// against a thread looking a face up). finish() (or the destructor) waits
// for it; call it before the QApplication goes.
class WarmUp
{
public:
    WarmUp();
    ~WarmUp();
    WarmUp(const WarmUp&) = delete;
    WarmUp& operator=(const WarmUp&) = delete;

    void applicationReady();
    void finish();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable ready_;
    bool applicationReady_ = false;
    std::thread thread_;
};
