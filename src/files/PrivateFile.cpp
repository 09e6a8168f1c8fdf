#include "files/PrivateFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFile
{

namespace
{

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Creates the file with no one else's bits, before anything else opens it:
// a file made by another program would follow the umask.
QString create(const QByteArray& name, const QString& path)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) {
        return QStringLiteral("「%1」を作れません: %2").arg(path, systemError());
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return {};
}

QString tighten(const QString& path, gid_t gid)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {
    };
    if (::stat(name.constData(), &st) != 0) {
        return {};
    }
    if (gid != static_cast<gid_t>(-1) && st.st_gid != gid &&
        ::chown(name.constData(), -1, gid) != 0) {
        return QStringLiteral("「%1」のグループを変えられません: %2").arg(path, systemError());
    }
    const mode_t wanted = (st.st_mode & 0600) | (gid != static_cast<gid_t>(-1) ? 0040 : 0);
    if ((st.st_mode & 07777) != wanted && ::chmod(name.constData(), wanted) != 0) {
        return QStringLiteral("「%1」を自分だけが読めるようにできません: %2")
            .arg(path, systemError());
    }
    return {};
}

} // namespace

QString refuseShared(const QString& path, const QString& what)
{
    struct stat st {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 ||
        (st.st_mode & (S_IRGRP | S_IROTH)) == 0) {
        return {};
    }
    return QStringLiteral("%1「%2」はほかの人も読めるので使いません。"
                          "chmod 600 %2 として、自分だけが読めるようにしてください")
        .arg(what, path);
}

QString keepPrivate(const QString& path, const QString& group)
{
    gid_t gid = static_cast<gid_t>(-1);
    if (!group.isEmpty()) {
        const struct group* g = ::getgrnam(group.toLocal8Bit().constData());
        if (g == nullptr) {
            return QStringLiteral("グループ「%1」がありません").arg(group);
        }
        gid = g->gr_gid;
    }
    if (QString failed = create(QFile::encodeName(path), path); !failed.isEmpty()) {
        return failed;
    }
    for (const QString& file :
         {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")}) {
        if (QString failed = tighten(file, gid); !failed.isEmpty()) {
            return failed;
        }
    }
    return {};
}

} // namespace PrivateFile
