#pragma once

#include <QString>

// Files that hold secrets: the classroom store with every learner's answers
// and hashes, a TLS key, a password file.
namespace PrivateFile
{

// "" when only the owner may read `path` (or it cannot be looked at: the
// reader then says why), else why it is refused, in Japanese. `what` names
// the file, such as 秘密鍵のファイル.
QString refuseShared(const QString& path, const QString& what);

// Makes `path` if it is missing, and it and its side files `path`-wal and
// `path`-shm when present, readable by the owner alone (0600), or also by
// `group` when one is named (0640), whatever the umask. An existing file is
// only tightened: a file made read-only stays so. "" or why not, in Japanese.
QString keepPrivate(const QString& path, const QString& group);

} // namespace PrivateFile
