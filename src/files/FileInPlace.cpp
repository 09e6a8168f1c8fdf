#include "files/FileInPlace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace
{

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// write() until every byte is out; a short write is continued, not repeated.
bool writeWhole(int fd, const char* data, qsizetype size, off_t at = -1)
{
    while (size > 0) {
        const ssize_t n = at < 0 ? ::write(fd, data, static_cast<size_t>(size))
                                 : ::pwrite(fd, data, static_cast<size_t>(size), at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= n;
        at = at < 0 ? at : at + n;
    }
    return true;
}

} // namespace

FileInPlace::FileInPlace(const QString& path, Mode mode, int waitMs)
{
    const QByteArray name = QFile::encodeName(path);
    const int flags = (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    QElapsedTimer waited;
    waited.start();
    while (true) {
        const int fd = ::open(name.constData(), flags);
        if (fd < 0) {
            missing_ = errno == ENOENT;
            reason_ = systemReason();
            return;
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited.elapsed() >= waitMs) {
                reason_ = errno == EWOULDBLOCK
                              ? QStringLiteral("ほかのVelmorantが書き込んでいる最中で、%1秒待っても"
                                               "終わりませんでした")
                                    .arg((waitMs + 999) / 1000)
                              : systemReason();
                ::close(fd);
                return;
            }
            QThread::msleep(2);
        }
        struct stat named {
        };
        if (::fstat(fd, &info_) == 0 && ::stat(name.constData(), &named) == 0 &&
            named.st_ino == info_.st_ino && named.st_dev == info_.st_dev) {
            fd_ = fd;
            return;
        }
        // Replaced by another copy while this one waited: lock the new file.
        ::close(fd);
    }
}

FileInPlace::~FileInPlace()
{
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
    }
}

bool FileInPlace::readAll(QByteArray* out)
{
    out->clear();
    char buffer[65536];
    off_t at = 0;
    while (true) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason_ = systemReason();
            return false;
        }
        if (n == 0) {
            return true;
        }
        out->append(buffer, n);
        at += n;
    }
}

QString FileInPlace::append(const QList<QByteArray>& pieces)
{
    if (::lseek(fd_, 0, SEEK_END) < 0) {
        return systemReason();
    }
    for (const QByteArray& piece : pieces) {
        if (!writeWhole(fd_, piece.constData(), piece.size())) {
            return systemReason();
        }
    }
    return ::fsync(fd_) == 0 ? QString() : systemReason();
}

QString FileInPlace::rewrite(const QByteArray& bytes)
{
    if (!writeWhole(fd_, bytes.constData(), bytes.size(), 0) ||
        ::ftruncate(fd_, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd_) != 0) {
        return systemReason();
    }
    return {};
}

bool canTakeGroupOf(const struct stat& info)
{
    if (::geteuid() == 0 || info.st_gid == ::getegid()) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups.at(static_cast<std::size_t>(i)) == info.st_gid) {
            return true;
        }
    }
    return false;
}
