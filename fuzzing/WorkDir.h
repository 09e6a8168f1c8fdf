#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// One working folder for the whole fuzzing process, made on first use and
// overwritten by every run. It lives in memory where it can: the marks file
// target syncs to disk several times per run. The scripts name a parent
// folder they remove afterwards, so that a crash leaves nothing behind.
inline const QString& fuzzWorkDir()
{
    static const QString base = [] {
        const QString given = qEnvironmentVariable("VELMORANT_FUZZ_TMP");
        if (!given.isEmpty()) {
            return given;
        }
        return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                         : QDir::tempPath();
    }();
    static QTemporaryDir dir(base + QStringLiteral("/velmorant-fuzz-XXXXXX"));
    static const QString path = dir.path();
    return path;
}
