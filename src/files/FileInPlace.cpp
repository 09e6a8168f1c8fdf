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
    return reasonOfError(errno);
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

// Opens the file, made first when `create` allows; -1 on failure, errno set.
int openFile(const QByteArray& name, int flags, bool create, bool* created)
{
    while (true) {
        const int fd = ::open(name.constData(), flags);
        if (fd >= 0 || errno != ENOENT || !create) {
            return fd;
        }
        const int made = ::open(name.constData(), flags | O_CREAT | O_EXCL, 0666);
        if (made >= 0 || errno != EEXIST) {
            *created = made >= 0;
            return made;
        }
        // Made by someone else in between: open theirs.
    }
}

} // namespace

FileInPlace::FileInPlace(const QString& path, Mode mode, int waitMs, bool create)
{
    const QByteArray name = QFile::encodeName(path);
    const int flags = (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    const int lock = mode == Mode::Shared ? LOCK_SH : LOCK_EX;
    QElapsedTimer waited;
    waited.start();
    while (true) {
        const int fd = openFile(name, flags, create, &created_);
        if (fd < 0) {
            missing_ = errno == ENOENT;
            reason_ = systemReason();
            return;
        }
        while (::flock(fd, lock | LOCK_NB) != 0) {
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

bool FileInPlace::readFrom(qint64 at, QByteArray* out)
{
    out->clear();
    // As much as the file held when opened, then more while it has grown.
    qint64 most = std::max<qint64>(static_cast<qint64>(info_.st_size) - at, 0) + 1;
    while (true) {
        const qsizetype before = out->size();
        if (!readSome(at + before, most, out)) {
            return false;
        }
        if (out->size() - before < most) {
            return true;
        }
        most = 1 << 20;
    }
}

bool FileInPlace::readSome(qint64 at, qint64 most, QByteArray* out)
{
    const qsizetype start = out->size();
    out->resize(start + most);
    qint64 filled = 0;
    while (filled < most) {
        const ssize_t n = ::pread(fd_, out->data() + start + filled, size_t(most - filled),
                                  static_cast<off_t>(at + filled));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason_ = systemReason();
            out->truncate(start);
            return false;
        }
        if (n == 0) {
            break;
        }
        filled += n;
    }
    out->truncate(start + filled);
    return true;
}

qint64 FileInPlace::size()
{
    struct stat now {
    };
    if (::fstat(fd_, &now) != 0) {
        reason_ = systemReason();
        return -1;
    }
    return static_cast<qint64>(now.st_size);
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

QString FileInPlace::truncate(qint64 size)
{
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 || ::fsync(fd_) != 0) {
        return systemReason();
    }
    return {};
}

QString reasonOfError(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("ファイルかフォルダーを読み書きする権限がありません");
    case ENOSPC:
        return QStringLiteral("ディスクがいっぱいです");
    case EDQUOT:
        return QStringLiteral("ディスクの使用量が上限に達しています");
    case EFBIG:
        return QStringLiteral(
            "ファイルをこれ以上大きくできません（ディスクがいっぱいかもしれません）");
    case EROFS:
        return QStringLiteral("読み取り専用のディスクで、書き込めません");
    case EIO:
        return QStringLiteral("ディスクの読み書きに失敗しました（入出力エラー）");
    case ENOENT:
        return QStringLiteral("ファイルかフォルダーが見つかりません");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
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
