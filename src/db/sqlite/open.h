// Checks on a database file before SQLite opens it: what the path holds, and
// whether it must be read as immutable.
#ifndef KESTLE_DB_SQLITE_OPEN_H_
#define KESTLE_DB_SQLITE_OPEN_H_

#include <string>

#include "platform/error.h"

namespace kestle::db {

// What a database file path holds, read through the Env before SQLite sees
// the file, so that a missing file is never created and an empty or foreign
// one never becomes a database.
enum class FileKind { kDatabase, kMissing, kNoAccess, kOther };

// What the file at `path` holds.
FileKind KindOf(const std::string& path);

// True when reading the database at `path` (absolute) would make SQLite create
// -wal and -shm files that it could not remove, owned by this process where
// the file's owner may be unable to write them: the file is in WAL mode, no
// one has it open (there is no -wal file) and this process cannot write it.
// Such a file is read as immutable instead, which creates nothing; since no
// writer was active when it opened, it reads one consistent state unless a
// writer starts and checkpoints during the read.
bool ReadImmutably(const std::string& path);

// The URI that opens the file at `path` (absolute) as immutable.
std::string ImmutableUri(const std::string& path);

// DAO's error for a database file of kind `kind` that cannot be used.
RuntimeError FileError(FileKind kind, const std::string& path);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_OPEN_H_
