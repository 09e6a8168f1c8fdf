#pragma once

#include "server/admin/CommandOutcome.h"

#include <QString>

// A class folder's SQLite store copied out while a server writes to it, and
// put back while none does. A PostgreSQL store is left to its own tools:
// the commands to use are printed instead.
namespace StoreBackup
{

// Taken by every process that uses the folder's SQLite store and held until
// it ends, so that a restore never swaps the file under one. `create`
// false: a folder without the lock file is used unlocked (a read-only
// copy, which nothing restores into). "" or why not, in Japanese.
QString holdShared(const QString& folder, bool create);

// A consistent copy of the store at `file`, which must not exist yet: made
// beside it, checked, synced and renamed, readable by its owner alone.
CommandOutcome backup(const QString& file, const QString& folder, const QString& database);

// `file` (a copy made by backup) as the folder's store, when no process
// uses the folder. The store it replaces is kept as
// velmorant.sqlite.before-restore, with its -wal and -journal, so that it
// opens whole; the store's -shm is removed.
CommandOutcome restore(const QString& file, const QString& folder, const QString& database);

} // namespace StoreBackup
