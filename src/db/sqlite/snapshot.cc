// SnapshotCopy: consistent copies of SQLite files at the kernel's copy speed,
// byte copies of anything else.
#include "db/sqlite/snapshot.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "db/jet_errors.h"
#include "db/sqlite/commit_group.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

// The first 16 bytes of every SQLite database file.
constexpr char kSqliteHeader[16] = "SQLite format 3";
// How long a snapshot waits for another connection's lock on the source, as
// long as the engine waits for a lock.
constexpr int kBusyTimeoutMs = 5000;
// The copy becomes a self-contained file in rollback-journal mode, so that the
// backup is one file however the source was journaled.
constexpr const char* kStandaloneJournalMode = "PRAGMA journal_mode=DELETE";
// The copy is a temporary file until it is synced and renamed whole, so the
// writes that make it self-contained need no syncs of their own.
constexpr const char* kUnsyncedCopy = "PRAGMA synchronous=OFF";
// A read transaction that pins one state of the source while its files are
// copied: reading the schema takes the read lock.
constexpr const char* kPinState = "BEGIN; SELECT count(*) FROM sqlite_schema";
constexpr const char* kUnpinState = "COMMIT";
// A connection knows that the database is in WAL mode, and can checkpoint it,
// only once it has read the file's header.
constexpr const char* kReadHeader = "PRAGMA schema_version";
constexpr const char* kWalSuffix = "-wal";
// The files that SQLite may put beside the copy while it writes.
constexpr const char* kCompanionSuffixes[] = {"-journal", "-wal", "-shm"};

using ConnectionPtr = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;

// The file error number for a failed SQLite call on `db`: from the OS error
// where SQLite kept one, else from the result code.
int FileErrorNumber(sqlite3* db, int rc) {
  switch (db ? sqlite3_system_errno(db) : 0) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return err::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return err::kPermissionDenied;
    case ENOENT:
    case ENOTDIR:
      return err::kPathNotFound;
    default:
      break;
  }
  switch (rc & 0xFF) {
    case SQLITE_FULL:
      return err::kDiskFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return err::kPermissionDenied;
    case SQLITE_CANTOPEN:
      return err::kPathFileAccess;
    default:
      return err::kDeviceIo;
  }
}

// The error of a failed SQLite call on `db` about the file `path`: DAO's
// error when the database is the trouble (locked by another connection, not
// a database, damaged), else the file error.
[[noreturn]] void ThrowCopyError(sqlite3* db, int rc, const std::string& path) {
  RuntimeError e = [&] {
    switch (rc & 0xFF) {
      case SQLITE_BUSY:
        return jet::Error(jet::kFileInUse, path);
      case SQLITE_LOCKED:
        return jet::Error(jet::kLocked);
      case SQLITE_NOTADB:
        return jet::Error(jet::kUnrecognizedFormat, path);
      case SQLITE_CORRUPT:
        return jet::Error(jet::kCannotOpenDatabase, path);
      default:
        return RuntimeError(FileErrorNumber(db, rc));
    }
  }();
  e.set_detail(path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
  throw e;
}

// Opens `path`; failures are reported under the name `shown`.
ConnectionPtr Open(const std::string& path, int flags, const std::string& shown) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  ConnectionPtr db(raw, &sqlite3_close_v2);
  if (rc != SQLITE_OK) ThrowCopyError(raw, rc, shown);
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  return db;
}

// Opens the source for reading. A read-write connection is preferred: as the
// last connection to close it cleans up the WAL companion files, which a
// read-only one would leave beside the database.
ConnectionPtr OpenSource(const std::string& from) {
  try {
    return Open(from, SQLITE_OPEN_READWRITE, from);
  } catch (const RuntimeError&) {
    return Open(from, SQLITE_OPEN_READONLY, from);
  }
}

// Runs `sql` on `db`, whose failures are reported for the file `shown`.
void Run(sqlite3* db, const char* sql, const std::string& shown) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowCopyError(db, rc, shown);
}

// True unless the database file `from` alone holds the state that a read
// transaction, begun before by another connection, pins. First moves what it
// can of the log into the file, with a checkpoint that waits for no one.
//
// A checkpoint never writes a page past the oldest reader's state, the pinned
// one included. So when it reports every frame of the log in the file, the
// log held nothing past the pinned state, and no later checkpoint can write
// into the file while the pin lasts: the file is that state. A missing or
// empty log holds nothing to move and needs no connection. When the
// checkpoint cannot run (a read-only source, another checkpoint busy), the
// log goes along.
bool LogNeeded(Env& env, const std::string& from) {
  try {
    if (env.FileSize(from + kWalSuffix) == 0) return false;
  } catch (const RuntimeError&) {
    return false;  // no log
  }
  try {
    ConnectionPtr checkpointer = Open(from, SQLITE_OPEN_READWRITE, from);
    Run(checkpointer.get(), kReadHeader, from);
    int frames = -1, written = -1;
    const int rc = sqlite3_wal_checkpoint_v2(checkpointer.get(), "main", SQLITE_CHECKPOINT_PASSIVE,
                                             &frames, &written);
    // A database not in WAL mode (-1) reads no log: its file is the state.
    return rc != SQLITE_OK || written != frames;
  } catch (const RuntimeError&) {
    return true;
  }
}

// Copies the database `from` into the file `temp` at the kernel's copy
// speed, as one consistent state even while other connections write.
//
// A read transaction pins one state: while it lasts, no checkpoint writes a
// page newer than that state into the file, and the log (in WAL mode) only
// grows, or starts over only when the file alone holds the pinned state; a
// rollback-journal database cannot change at all. A checkpoint that waits for
// no one then moves the log's part of that state into the file where no other
// reader holds it back, and the file is copied. Only a log still needed is
// copied too, after the file: the copy then holds the pinned state and
// perhaps later commits, and a commit being written while the log is copied
// is cut off by the log's checksums. Opening the copy recovers that log, and
// switching it to a rollback journal writes the log into the copy and removes
// it, leaving one self-contained file. The copy's writes are not synced: the
// caller syncs the finished file once before it takes the target's name.
// Failures of the copy's own file name `to`.
void CopyPinned(Env& env, const std::string& from, const std::string& temp, const std::string& to) {
  {
    ConnectionPtr source = OpenSource(from);
    Run(source.get(), kPinState, from);
    const bool with_log = LogNeeded(env, from);
    env.CopyFileContents(from, temp);
    if (with_log) env.CopyFileContents(from + kWalSuffix, temp + kWalSuffix);
    Run(source.get(), kUnpinState, from);
  }
  ConnectionPtr target = Open(temp, SQLITE_OPEN_READWRITE, to);
  Run(target.get(), kUnsyncedCopy, to);
  Run(target.get(), kStandaloneJournalMode, to);
  const int rc = sqlite3_close(target.release());
  if (rc != SQLITE_OK) ThrowCopyError(nullptr, rc, to);
}

}  // namespace

bool IsSqliteFile(Env& env, const std::string& path) {
  std::unique_ptr<SequentialFile> file = env.NewSequentialFile(path);
  char head[sizeof kSqliteHeader];
  size_t n = 0;
  while (n < sizeof head) {
    size_t got = file->Read(head + n, sizeof head - n);
    if (got == 0) break;
    n += got;
  }
  return n == sizeof head && std::memcmp(head, kSqliteHeader, sizeof head) == 0;
}

void SnapshotCopy(Env& env, const std::string& from, const std::string& to) {
  // The copy shows what this process's statements did so far.
  CommitAllGroups();
  if (!IsSqliteFile(env, from)) {
    env.CopyFileTo(from, to);
    return;
  }
  std::unique_ptr<TempFile> temp = env.NewTempFile(to, from);
  try {
    CopyPinned(env, from, temp->path(), to);
    temp->Commit();
  } catch (...) {
    for (const char* suffix : kCompanionSuffixes) {
      try {
        env.RemoveFile(temp->path() + suffix);
      } catch (const RuntimeError&) {
        // Best effort: the copy's own error is the one to report, and the
        // next copy into the folder removes what is left.
      }
    }
    throw;
  }
}

}  // namespace kestle::db
