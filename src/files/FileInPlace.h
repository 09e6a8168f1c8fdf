#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/stat.h>

// A file changed where it lies, under an advisory lock (flock) on the file
// itself: for a folder the user may not write in (a class's shared drive
// where only one file is writable), and, beside a lock file, so that a copy
// writing in place and a copy replacing the file never overlap.
class FileInPlace
{
public:
    // Read and ReadWrite hold the file alone; Shared reads it beside other
    // readers, while no one writes it.
    enum class Mode { Read, ReadWrite, Shared };
    // Opens the file and waits up to waitMs for its lock. The lock is taken
    // on the file the name stands for when it is held: a file replaced
    // while waiting is opened again. With `create`, a missing file is made
    // (empty) first.
    FileInPlace(const QString& path, Mode mode, int waitMs, bool create = false);
    ~FileInPlace();
    FileInPlace(const FileInPlace&) = delete;
    FileInPlace& operator=(const FileInPlace&) = delete;

    bool held() const { return fd_ >= 0; }
    bool missing() const { return missing_; }
    // The file was made by this object.
    bool created() const { return created_; }
    const QString& reason() const { return reason_; }
    const struct stat& info() const { return info_; }

    // The whole file; false (and reason()) when it cannot be read.
    bool readAll(QByteArray* out) { return readFrom(0, out); }
    // The file from byte `at` to its end.
    bool readFrom(qint64 at, QByteArray* out);
    // Up to `most` bytes from byte `at` on (fewer at the end), added to out.
    bool readSome(qint64 at, qint64 most, QByteArray* out);
    // The file's size now; -1 (and reason()) when it cannot be told.
    qint64 size();
    // Each piece with one write at the end of the file, then synced.
    QString append(const QList<QByteArray>& pieces);
    // The file's content replaced by bytes, then synced. A kill part-way
    // leaves a mix of old and new: keep a copy first.
    QString rewrite(const QByteArray& bytes);
    // Cuts the file back to `size` bytes, synced.
    QString truncate(qint64 size);

private:
    int fd_ = -1;
    bool missing_ = false;
    bool created_ = false;
    QString reason_;
    struct stat info_ {
    };
};

// Why a call failed with `error` (an errno), in Japanese where the cause is
// one a user can act on.
QString reasonOfError(int error);

// Whether a file this process makes can be given the group of the file
// `info` describes (its own group, one it belongs to, or any as root).
bool canTakeGroupOf(const struct stat& info);
