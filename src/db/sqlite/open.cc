// Opening a front-end: the checks on a database file before SQLite sees it,
// the connection's set-up and the creation of a new front-end.
#include "db/sqlite/open.h"

#include <sqlite3.h>

#include <cstring>
#include <memory>

#include "db/jet_errors.h"
#include "db/sqlite/authorizer.h"
#include "db/sqlite/backends.h"
#include "db/sqlite/commit_group.h"
#include "db/sqlite/connection.h"
#include "db/sqlite/operator_functions.h"
#include "db/sqlite/sql_functions.h"
#include "db/sqlite/sqlite_database.h"
#include "db/sqlite/sqlite_errors.h"
#include "db/sqlite/typed_columns.h"
#include "platform/ascii.h"
#include "platform/env.h"

namespace kestle::db {

namespace {

// Connection settings. A writer puts each database it opens in WAL mode, with
// synchronous=NORMAL: the backup copy can then read while the jobs write, and
// the archive's many small statements, whose commits are grouped
// (commit_group.h), cost a fraction of what a rollback journal's syncs do; a
// power loss keeps the file consistent and may cost the last commits. The
// busy handler (BusyWait) waits several seconds for another's lock. WAL is a property of the file,
// so it stays after the writer closes; a database that cannot be switched (another connection holds
// it, a file system without shared memory) keeps its mode and, in a rollback
// mode, SQLite's FULL. A reader never switches a mode and sets query_only, so
// that no statement can change a file.
constexpr const char* kSetWalMode = "PRAGMA journal_mode=WAL";
constexpr const char* kSetQueryOnly = "PRAGMA query_only=1";
constexpr const char* kWalSuffix = "-wal";
constexpr const char* kImmutableQuery = "?immutable=1";

struct FileFacts {
  FileKind kind;
  bool wal = false;  // the header records WAL mode
};

// The start of an SQLite file's header, and where it records the journal
// mode (bytes 18 and 19, both 2 for WAL).
constexpr char kSqliteMagic[16] = "SQLite format 3";
constexpr size_t kHeaderBytes = 20, kReadVersionAt = 18, kWriteVersionAt = 19;
constexpr char kWalVersion = 2;

FileFacts Examine(const std::string& path) {
  try {
    std::unique_ptr<SequentialFile> file = Env::Default()->NewSequentialFile(path);
    char head[kHeaderBytes];
    size_t n = 0;
    for (size_t got = 1; n < sizeof head && got > 0; n += got) {
      got = file->Read(head + n, sizeof head - n);
    }
    if (n < sizeof head || std::memcmp(head, kSqliteMagic, sizeof kSqliteMagic) != 0) {
      return {FileKind::kOther};
    }
    return {FileKind::kDatabase,
            head[kReadVersionAt] == kWalVersion && head[kWriteVersionAt] == kWalVersion};
  } catch (const RuntimeError& e) {
    if (e.number() == err::kFileNotFound || e.number() == err::kPathNotFound) {
      return {FileKind::kMissing};
    }
    return {e.number() == err::kPermissionDenied ? FileKind::kNoAccess : FileKind::kOther};
  }
}

}  // namespace

FileKind KindOf(const std::string& path) { return Examine(path).kind; }

// True when reading the database at `path` (absolute) would make SQLite create
// -wal and -shm files that it could not remove, owned by this process where
// the file's owner may be unable to write them: the file is in WAL mode, no
// one has it open (there is no -wal file) and this process cannot write it.
// Such a file is read as immutable instead, which creates nothing; since no
// writer was active when it opened, it reads one consistent state unless a
// writer starts and checkpoints during the read.
bool ReadImmutably(const std::string& path) {
  if (!Examine(path).wal || !Env::Default()->DirLookup(path + kWalSuffix).empty()) return false;
  // Opening reads nothing yet; it only finds out whether the file is writable.
  sqlite3* probe = nullptr;
  sqlite3_open_v2(path.c_str(), &probe, SQLITE_OPEN_READWRITE, nullptr);
  bool read_only = probe != nullptr && sqlite3_db_readonly(probe, "main") == 1;
  sqlite3_close_v2(probe);
  return read_only;
}

// The URI that opens the file at `path` (absolute) as immutable.
std::string ImmutableUri(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = path.starts_with("/") ? "file://" : "file:///";
  for (unsigned char c : path) {
    if (ascii::IsAlnum(static_cast<char>(c)) || std::strchr("/._~-", c) != nullptr) {
      uri.push_back(static_cast<char>(c));
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  return uri + kImmutableQuery;
}

// DAO's error for a database file of kind `kind` that cannot be used.
RuntimeError FileError(FileKind kind, const std::string& path) {
  switch (kind) {
    case FileKind::kMissing:
      return jet::Error(jet::kFileNotFound, path);
    case FileKind::kNoAccess:
      return jet::Error(jet::kOpenedExclusively, path);
    default:
      return jet::Error(jet::kUnrecognizedFormat, path);
  }
}

namespace {

// Creates an empty front-end at `path` (absolute) in WAL mode.
void CreateFrontEnd(const std::string& path) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> db(raw, &sqlite3_close_v2);
  if (raw == nullptr) throw RuntimeError(err::kOutOfMemory);
  sqlite3_extended_result_codes(raw, 1);
  // A missing folder is the usual reason a new file cannot be made.
  if ((rc & 0xFF) == SQLITE_CANTOPEN) throw jet::Error(jet::kInvalidPath, path);
  if (rc != SQLITE_OK) {
    throw JetErrorOf(rc, sqlite3_errmsg(raw), FailureSite::kFile, path, "", path);
  }
  RunInternal(raw, kSetWalMode);
}

}  // namespace

std::shared_ptr<SqliteDatabase> OpenSqliteDatabase(const std::string& front_end_path,
                                                   OpenMode mode) {
  // A new connection reads what this process's statements did so far.
  CommitAllGroups();
  auto conn = std::make_shared<Connection>();
  // SQLite reads a name that starts with "file:" as a URI; an absolute path
  // never does.
  conn->path = AbsolutePath(front_end_path);
  FileKind kind = KindOf(conn->path);
  if (kind == FileKind::kMissing && mode == OpenMode::kCreate) {
    CreateFrontEnd(conn->path);
  } else if (kind != FileKind::kDatabase) {
    throw FileError(kind, conn->path).set_detail(front_end_path);
  }
  // Also a reader opens read-write when it may: a read-only connection that
  // meets a WAL file at rest makes its -wal and -shm files and cannot remove
  // them, while a read-write one removes them when it closes; query_only
  // keeps it from changing anything.
  // The connection takes URIs only for the names it builds itself: every path
  // it is given is absolute, so never a URI.
  std::string name = ReadImmutably(conn->path) ? ImmutableUri(conn->path) : conn->path;
  int rc =
      sqlite3_open_v2(name.c_str(), &conn->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr);
  if (conn->db == nullptr) throw RuntimeError(err::kOutOfMemory);
  sqlite3_extended_result_codes(conn->db, 1);
  if (rc != SQLITE_OK) {
    throw JetErrorOf(rc, sqlite3_errmsg(conn->db), FailureSite::kFile, conn->path, "",
                     front_end_path);
  }
  sqlite3_busy_handler(conn->db, BusyWait, conn.get());
  bool writer = mode != OpenMode::kReadOnly;
  try {
    RegisterFunctions(conn->db);
    RegisterOperatorFunctions(conn->db);
    AttachBackends(*conn, writer);
    if (writer) {
      TuneWriter(conn->db, "main");
      InstallTypedColumnTriggers(conn->db);
    } else {
      RunInternal(conn->db, kSetQueryOnly);
    }
  } catch (const RuntimeError&) {
    // Reading the front-end's own schema failed: a failure of the file.
    int code = sqlite3_extended_errcode(conn->db);
    if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_NOTADB) {
      throw JetErrorOf(code, sqlite3_errmsg(conn->db), FailureSite::kFile, conn->path, "",
                       front_end_path);
    }
    throw;
  }
  // Set after attaching: attaching reads the back-ends' schemas itself.
  sqlite3_set_authorizer(conn->db, JetStatementsOnly, conn.get());
  return std::make_shared<SqliteDatabase>(std::move(conn));
}

}  // namespace kestle::db
