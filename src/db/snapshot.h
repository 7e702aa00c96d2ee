// A consistent copy of a database file for backups.
//
// Copying the bytes of a live SQLite file is not a backup: in WAL mode
// committed pages may still sit in the -wal file, and a copy taken while
// another connection writes mixes old and new pages. SnapshotCopy reads an
// SQLite file through SQLite's online backup API, which copies one consistent
// state; any other file is copied byte for byte.
#ifndef KESTLE_DB_SNAPSHOT_H_
#define KESTLE_DB_SNAPSHOT_H_

#include <string>

#include "platform/env.h"

namespace kestle::db {

// The suffix of the temporary file, beside the target, that receives a
// snapshot before it is renamed over the target.
inline constexpr const char* kSnapshotTempSuffix = ".kestle-partial";

// Copies `from` to `to`, replacing an existing `to`. An SQLite database
// (recognized by its header) is copied as a consistent snapshot into a
// temporary file beside `to`, then renamed over it; any other file goes
// through env.CopyFile. A failed copy leaves no partial file under the target
// name. Throws RuntimeError: 53 when `from` is missing, 76 when a folder of
// either path is missing, 70 without access, 61 when the disk is full, 57 for
// another I/O failure.
void SnapshotCopy(Env& env, const std::string& from, const std::string& to);

// True when the file at `path` starts with the SQLite header. Throws like
// Env::NewSequentialFile when it cannot be read.
bool IsSqliteFile(Env& env, const std::string& path);

}  // namespace kestle::db

#endif  // KESTLE_DB_SNAPSHOT_H_
