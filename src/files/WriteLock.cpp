#include "files/WriteLock.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

namespace
{

// A lock older than this was left by a copy that died holding it (or by one
// on another machine that cannot be asked); a write takes milliseconds.
constexpr int StaleLockMs = 4000;

} // namespace

WriteLock::WriteLock(const QString& lockPath, int waitMs) : lock_(lockPath)
{
    lock_.setStaleLockTime(StaleLockMs);
    // Tried again every few milliseconds rather than with the lock file's
    // own growing pauses: a write holds the lock only briefly, and a copy
    // that waits long between tries may never find it free while another
    // writes often.
    QElapsedTimer waited;
    waited.start();
    while (!(held_ = lock_.tryLock(0)) && lock_.error() == QLockFile::LockFailedError &&
           waited.elapsed() < waitMs) {
        QThread::msleep(QRandomGenerator::global()->bounded(1, 4));
    }
    if (held_) {
        return;
    }
    switch (lock_.error()) {
    case QLockFile::LockFailedError:
        reason_ = QStringLiteral("ほかのVelmorantが書き込んでいる最中で、%1秒待っても"
                                 "終わりませんでした")
                      .arg((waitMs + 999) / 1000);
        break;
    case QLockFile::PermissionError:
        reason_ = QStringLiteral("フォルダーに書き込む権限がありません");
        break;
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        reason_ = QStringLiteral("書き込み中の印のファイル「%1」を作れません"
                                 "（ディスクがいっぱいかもしれません）")
                      .arg(QFileInfo(lockPath).fileName());
        break;
    }
}
