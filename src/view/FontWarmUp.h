#pragma once

#include <thread>

// Reads the system's font configuration on a thread of its own while the
// application and its window are being made: the first caption measured
// would otherwise wait for it. Start it first thing; wait() before the
// first font is used (the destructor waits too).
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    void wait();

private:
    std::thread thread_;
};
