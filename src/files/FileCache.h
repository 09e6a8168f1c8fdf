#pragma once

#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

// What tells one version of a file from another without reading it: its
// device and inode (a save by rename is a new file), size and times.
struct FileStamp {
    qint64 device = 0;
    qint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    // Changed long enough ago that a write now would show in its times: the
    // kernel keeps them to a few milliseconds, so a file rewritten at once
    // with the same length could otherwise look unchanged.
    bool settled = false;

    bool operator==(const FileStamp& o) const
    {
        return device == o.device && inode == o.inode && size == o.size &&
               modifiedNs == o.modifiedNs && changedNs == o.changedNs;
    }
    // None for a file that cannot be looked at; settled when unchanged for
    // `settleNs`.
    static std::optional<FileStamp> of(const QString& path, qint64 settleNs);
};

// What was made from a file, kept while the file stays as it was: a
// thousand learners' boards read the same series, and each reading took
// more of an answer's time than storing it. Any thread may use it.
template <typename Made> class FileCache
{
public:
    static constexpr qint64 SettleNs = 2000000000;
    explicit FileCache(qsizetype capacity, qint64 settleNs = SettleNs)
        : capacity_(capacity), settleNs_(settleNs)
    {
    }

    // `make(path)` for the file as it is now, made again only when it changed.
    template <typename Make> Made get(const QString& path, Make make)
    {
        const std::optional<FileStamp> stamp = FileStamp::of(path, settleNs_);
        if (stamp && stamp->settled) {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto found = kept_.constFind(path);
            if (found != kept_.constEnd() && found->stamp == *stamp) {
                return found->made;
            }
        }
        Made made = make(path);
        if (stamp && stamp->settled) {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (kept_.size() >= capacity_) {
                kept_.clear();
            }
            kept_.insert(path, {*stamp, made});
        }
        return made;
    }

private:
    struct Kept {
        FileStamp stamp;
        Made made;
    };
    std::mutex mutex_;
    QHash<QString, Kept> kept_;
    qsizetype capacity_;
    qint64 settleNs_;
};
