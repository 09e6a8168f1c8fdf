#pragma once

#include <unistd.h>

#include <string>

// Reads a child's standard output up to its first line end: true when that
// line is "ready", false when it said something else or ended first.
inline bool readReadyLine(int fd)
{
    std::string got;
    char ch = 0;
    while (::read(fd, &ch, 1) == 1) {
        if (ch == '\n') {
            return got == "ready";
        }
        got += ch;
    }
    return false;
}
