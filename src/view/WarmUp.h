#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Reads the system's font configuration on a thread of its own while the
// application and its window are being made: the first caption drawn would
// otherwise wait for it. Start it first thing and call applicationReady()
// once the QApplication exists; the thread then also fills the font
// database and the fallback lists of the window's faces, which every thread
// shares. finish() (or the destructor) waits for it; call it before the
// QApplication goes.
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    void applicationReady();
    void finish();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable ready_;
    bool applicationReady_ = false;
    std::thread thread_;
};
