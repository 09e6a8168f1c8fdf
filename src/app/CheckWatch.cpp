#include "app/CheckWatch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace CheckWatch
{

namespace
{

constexpr int LookEveryMs = 250;

// Ctrl+C ends the watch, even where the shell started it in the background
// with the signal ignored; what was printed went out after each check.
extern "C" void endWatch(int)
{
    ::_exit(0);
}

struct Stamp {
    qint64 modified = -1;
    qint64 size = -1;
    bool operator==(const Stamp&) const = default;
};

QHash<QString, Stamp> stampsOf(const QStringList& files)
{
    QHash<QString, Stamp> out;
    for (const QString& path : files) {
        const QFileInfo info(path);
        out.insert(path, info.exists() ? Stamp{info.lastModified().toMSecsSinceEpoch(), info.size()}
                                       : Stamp{});
    }
    return out;
}

} // namespace

int run(const std::function<QStringList()>& files, const std::function<void()>& again)
{
    QFileSystemWatcher watcher;
    QStringList watched = files();
    QHash<QString, Stamp> seen = stampsOf(watched);
    const auto follow = [&watcher, &watched] {
        if (!watcher.files().isEmpty()) {
            watcher.removePaths(watcher.files());
        }
        if (!watcher.directories().isEmpty()) {
            watcher.removePaths(watcher.directories());
        }
        QStringList paths;
        for (const QString& path : watched) {
            paths << path << QFileInfo(path).absolutePath();
        }
        paths.removeDuplicates();
        paths.removeIf([](const QString& p) { return !QFileInfo::exists(p); });
        if (!paths.isEmpty()) {
            watcher.addPaths(paths);
        }
    };
    // Each look compares times and sizes: a watcher's signal for a file
    // that did not change (an editor's backup beside it) costs nothing.
    const auto look = [&] {
        if (stampsOf(watched) == seen) {
            return;
        }
        again();
        watched = files();
        seen = stampsOf(watched);
        follow();
    };
    follow();
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &watcher,
                     [&look](const QString&) { look(); });
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &watcher,
                     [&look](const QString&) { look(); });
    std::signal(SIGINT, endWatch);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, look);
    poll.start(LookEveryMs);
    return QCoreApplication::exec();
}

} // namespace CheckWatch
