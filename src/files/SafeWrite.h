#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's content as one step: the new bytes go to a temporary file
// that is flushed and renamed over the old one, and the folder is synced so
// that the new name survives a power cut. A failure or a kill part-way leaves
// the old file whole. Returns the reason on failure, an empty string on
// success.
QString WriteFileAtomically(const QString& path, const QByteArray& bytes);
