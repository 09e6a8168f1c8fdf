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
