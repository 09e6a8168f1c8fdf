#pragma once

#include <QString>

// What a command on a class folder ends with: its exit status, the lines
// for standard output and those for standard error (Japanese), so that the
// work is done apart from the printing.
struct CommandOutcome {
    int status = 0;
    QString out;
    QString err;

    static CommandOutcome failed(const QString& why, int status = 1) { return {status, {}, why}; }
};
