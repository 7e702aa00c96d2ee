// A consistent copy of a database file for backups.
//
// Copying the bytes of a live SQLite file is not a backup: in WAL mode
// committed pages may still sit in the -wal file, and a copy taken while
// another connection writes mixes old and new pages. SnapshotCopy copies an
// SQLite file, and its log, while a read transaction pins one state, and then
// lets SQLite's recovery make the copy one self-contained file; any other
// file is copied byte for byte.
#ifndef KESTLE_DB_SQLITE_SNAPSHOT_H_
#define KESTLE_DB_SQLITE_SNAPSHOT_H_

#include <string>

#include "platform/env.h"

namespace kestle::db {

// Copies `from` to `to`, replacing an existing `to`. An SQLite database
// (recognized by its header) is copied as a consistent snapshot into an
// Env::NewTempFile beside `to`, then renamed over it, the copy and the rename
// on disk when it returns; the source is at most checkpointed, by a
// checkpoint that waits for no one. Any other file goes through
// env.CopyFileTo. Two copies to one target at once both succeed (the
// later one stays), the copy is never more readable than `from`, and a
// failed copy leaves no file under the target name and none beside it that
// the next copy into the folder would not remove. Throws RuntimeError: 53
// when `from` is missing, 76 when the target's folder is missing, 70
// without access, 61 when the disk is full, 57 for another I/O failure; for
// an SQLite source DAO's 3045 when another connection holds it locked past
// the wait, 3343 when it is not a database and 3049 when it is damaged.
void SnapshotCopy(Env& env, const std::string& from, const std::string& to);

// True when the file at `path` starts with the SQLite header. Throws like
// Env::NewSequentialFile when it cannot be read.
bool IsSqliteFile(Env& env, const std::string& path);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_SNAPSHOT_H_
