#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// Replaces a file's content as one step: the new bytes go to a temporary file
// that is flushed and renamed over the old one, and the folder is synced so
// that the new name survives a power cut. A failure or a kill part-way leaves
// the old file whole. Returns the reason on failure, an empty string on
// success.
// With `like`, the new file takes the group and the mode of the file it
// describes (the one it replaces), so that a write never takes a class's
// access away.
QString WriteFileAtomically(const QString& path, const QByteArray& bytes,
                            const struct stat* like = nullptr);

// Syncs the folder that holds `path`, so that a name made or changed in it
// survives a power cut.
void SyncFolderOf(const QString& path);

// Gives the open file or folder `fd` the group and the mode of the one
// `like` describes; false when it cannot take them.
bool TakeAccessOf(int fd, const struct stat& like);
