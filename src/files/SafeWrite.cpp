#include "files/SafeWrite.h"

#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void SyncFolderOf(const QString& path)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

// The group first: changing it may clear the set-id bits the mode restores.
bool TakeAccessOf(int fd, const struct stat& like)
{
    struct stat now {
    };
    if (::fstat(fd, &now) != 0) {
        return false;
    }
    if (now.st_gid != like.st_gid && ::fchown(fd, static_cast<uid_t>(-1), like.st_gid) != 0) {
        return false;
    }
    return ::fchmod(fd, like.st_mode & 07777) == 0;
}

QString WriteFileAtomically(const QString& path, const QByteArray& bytes, const struct stat* like)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    if (file.write(bytes) != bytes.size()) {
        QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (like != nullptr && !TakeAccessOf(file.handle(), *like)) {
        const QString reason = QStringLiteral("ファイルのグループと権限を元のとおりにできません");
        file.cancelWriting();
        return reason;
    }
    if (!file.flush() || ::fsync(file.handle()) != 0) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason.isEmpty() ? QStringLiteral("ディスクに書き込めません") : reason;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    SyncFolderOf(path);
    return {};
}
