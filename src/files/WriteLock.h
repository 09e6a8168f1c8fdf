#pragma once

#include <QLockFile>
#include <QString>

// A lock file held beside a shared file by whoever changes it, so that two
// copies of the program on one folder never write over each other. Held
// while the object lives.
class WriteLock
{
public:
    // How long a write waits for another copy's lock before it counts as
    // failed; a write holds the lock for milliseconds.
    static constexpr int WaitMs = 5000;

    WriteLock(const QString& lockPath, int waitMs = WaitMs);

    bool held() const { return held_; }
    // The folder cannot be written: a lock file cannot be made there.
    bool permissionDenied() const { return lock_.error() == QLockFile::PermissionError; }
    // Why the lock is not held, in Japanese.
    const QString& reason() const { return reason_; }

private:
    QLockFile lock_;
    bool held_ = false;
    QString reason_;
};
