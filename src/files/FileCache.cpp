#include "files/FileCache.h"

#include <QFile>

#include <algorithm>

#include <sys/stat.h>
#include <time.h>

namespace
{

qint64 ns(const timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

std::optional<FileStamp> FileStamp::of(const QString& path, qint64 settleNs)
{
    struct stat st {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    FileStamp s;
    s.device = qint64(st.st_dev);
    s.inode = qint64(st.st_ino);
    s.size = qint64(st.st_size);
    s.modifiedNs = ns(st.st_mtim);
    s.changedNs = ns(st.st_ctim);
    s.settled = ns(now) - std::max(s.modifiedNs, s.changedNs) >= settleNs;
    return s;
}
