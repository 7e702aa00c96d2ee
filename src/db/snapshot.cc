// SnapshotCopy: consistent copies of SQLite files through the online backup
// API, byte copies of anything else.
#include "db/snapshot.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/error.h"

namespace kestle::db {
namespace {

// The first 16 bytes of every SQLite database file.
constexpr char kSqliteHeader[16] = "SQLite format 3";
// How long a snapshot waits for a writer's lock, in total and per retry.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kBusyRetries = 200;
constexpr int kBusyRetrySleepMs = 50;
// The copy becomes a self-contained file in rollback-journal mode, so that the
// backup is one file however the source was journaled.
constexpr const char* kStandaloneJournalMode = "PRAGMA journal_mode=DELETE";

using ConnectionPtr = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;

// The file error number for a failed SQLite call on `db`: from the OS error
// where SQLite kept one, else from the result code.
int FileErrorNumber(sqlite3* db, int rc) {
  switch (sqlite3_system_errno(db)) {
    case ENOSPC:
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

[[noreturn]] void ThrowCopyError(sqlite3* db, int rc, const std::string& path) {
  RuntimeError e(FileErrorNumber(db, rc));
  e.set_detail(path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
  throw e;
}

ConnectionPtr Open(const std::string& path, int flags) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  ConnectionPtr db(raw, &sqlite3_close_v2);
  if (rc != SQLITE_OK) ThrowCopyError(raw, rc, path);
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  return db;
}

// Opens the source for reading. A read-write connection is preferred: as the
// last connection to close it cleans up the WAL companion files, which a
// read-only one would leave beside the database.
ConnectionPtr OpenSource(const std::string& from) {
  try {
    return Open(from, SQLITE_OPEN_READWRITE);
  } catch (const RuntimeError&) {
    return Open(from, SQLITE_OPEN_READONLY);
  }
}

// Copies the database `from` into a new file `temp` in one backup step, that
// is, from one read transaction: a consistent state even while another
// connection writes.
void BackupInto(const std::string& from, const std::string& temp) {
  ConnectionPtr source = OpenSource(from);
  ConnectionPtr target = Open(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  sqlite3_backup* backup = sqlite3_backup_init(target.get(), "main", source.get(), "main");
  if (backup == nullptr) ThrowCopyError(target.get(), sqlite3_extended_errcode(target.get()), temp);
  int rc = SQLITE_OK;
  for (int attempt = 0; attempt < kBusyRetries; ++attempt) {
    rc = sqlite3_backup_step(backup, -1);
    if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
    sqlite3_sleep(kBusyRetrySleepMs);
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) {
    sqlite3* blamed = sqlite3_errcode(target.get()) != SQLITE_OK ? target.get() : source.get();
    ThrowCopyError(blamed, rc, rc == SQLITE_FULL ? temp : from);
  }
  rc = sqlite3_exec(target.get(), kStandaloneJournalMode, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowCopyError(target.get(), rc, temp);
  rc = sqlite3_close(target.release());
  if (rc != SQLITE_OK) ThrowCopyError(nullptr, rc, temp);
}

// The folder part of `path` ("" for a bare name).
std::string FolderOf(const std::string& path, char separator) {
  size_t cut = path.find_last_of(std::string("/") + separator);
  if (cut == std::string::npos) return "";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
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
  if (!IsSqliteFile(env, from)) {
    env.CopyFile(from, to);
    return;
  }
  std::string folder = FolderOf(to, env.PathSeparator());
  if (!folder.empty() && !env.FolderExists(folder)) {
    throw RuntimeError(err::kPathNotFound).set_detail(to);
  }
  std::string temp = to + kSnapshotTempSuffix;
  auto remove_temp = [&] {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      try {
        env.RemoveFile(temp + suffix);
      } catch (const RuntimeError&) {
        // Best effort: the copy's own error is the one to report.
      }
    }
  };
  remove_temp();
  try {
    BackupInto(from, temp);
    env.RenameFile(temp, to);
  } catch (...) {
    remove_temp();
    throw;
  }
}

}  // namespace kestle::db
