// Back-end links: attaching the back-end files a front-end's links name, and
// reading and resolving the connect texts of those links.
#include "db/sqlite/backends.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

#include "db/jet_errors.h"
#include "db/sqlite/open.h"
#include "db/sqlite/sqlite_database.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/ascii.h"

namespace kestle::db {

namespace {

// Writer settings of an attached back-end (see open.cc).
constexpr const char* kSetSchemaWalMode = "PRAGMA %s.journal_mode=WAL";
constexpr const char* kJournalModeQuery = "PRAGMA %s.journal_mode";
constexpr const char* kWalModeName = "wal";
constexpr const char* kSetSynchronousNormal = "PRAGMA %s.synchronous=NORMAL";
constexpr const char* kAttach = "ATTACH DATABASE ?1 AS ";
// Schema names of attached back-ends: kestle_be1, kestle_be2, ...
constexpr const char* kBackendSchemaPrefix = "kestle_be";
constexpr const char* kListLinks = "SELECT name, connect FROM main.kestle_links";
constexpr const char* kHasLinksTable =
    "SELECT 1 FROM main.sqlite_schema WHERE type = 'table' AND name = 'kestle_links' COLLATE "
    "NOCASE";

// True when `schema` of `db` is in WAL mode (asking changes nothing).
bool InWalMode(sqlite3* db, const std::string& schema) {
  char sql[64];
  std::snprintf(sql, sizeof sql, kJournalModeQuery, schema.c_str());
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) ThrowSqlite(db, sql);
  StatementPtr stmt(raw, &sqlite3_finalize);
  if (sqlite3_step(raw) != SQLITE_ROW) ThrowSqlite(db, sql);
  return ascii::EqualsNoCase(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)),
                             kWalModeName);
}

}  // namespace

// Puts `schema` in WAL mode with synchronous=NORMAL (see above); leaves a
// database that refuses the switch as it is.
void TuneWriter(sqlite3* db, const std::string& schema) {
  if (!InWalMode(db, schema)) {
    char wal[64];
    std::snprintf(wal, sizeof wal, kSetSchemaWalMode, schema.c_str());
    sqlite3_exec(db, wal, nullptr, nullptr, nullptr);
    if (!InWalMode(db, schema)) return;
  }
  char sql[64];
  std::snprintf(sql, sizeof sql, kSetSynchronousNormal, schema.c_str());
  RunInternal(db, sql);
}

namespace {

// Attaches the database file at `path` (absolute) as `schema`; the error that
// the statements on its tables fail with when it cannot be used. A connection
// opened without SQLITE_OPEN_CREATE never creates a missing file here, and
// attached files are read-only on a read-only connection.
std::optional<RuntimeError> Attach(sqlite3* db, const std::string& path, const std::string& schema,
                                   bool writer) {
  if (FileKind kind = KindOf(path); kind != FileKind::kDatabase) return FileError(kind, path);
  std::string sql = kAttach + schema;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) ThrowSqlite(db, sql);
  StatementPtr stmt(raw, &sqlite3_finalize);
  std::string name = ReadImmutably(path) ? ImmutableUri(path) : path;
  sqlite3_bind_text(raw, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(raw) != SQLITE_DONE) {
    return JetErrorOf(sqlite3_extended_errcode(db), sqlite3_errmsg(db), FailureSite::kFile, path,
                      sql, path);
  }
  if (writer) TuneWriter(db, schema);
  return std::nullopt;
}

}  // namespace

// The (name, connect) rows of kestle_links, or none when the table is missing.
std::vector<std::pair<std::string, std::string>> ReadLinks(sqlite3* db) {
  std::vector<std::pair<std::string, std::string>> links;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, kHasLinksTable, -1, &raw, nullptr) != SQLITE_OK) {
    ThrowSqlite(db, kHasLinksTable);
  }
  StatementPtr probe(raw, &sqlite3_finalize);
  int rc = sqlite3_step(raw);
  if (rc == SQLITE_DONE) return links;
  if (rc != SQLITE_ROW) ThrowSqlite(db, kHasLinksTable);
  if (sqlite3_prepare_v2(db, kListLinks, -1, &raw, nullptr) != SQLITE_OK) {
    ThrowSqlite(db, kListLinks);
  }
  StatementPtr stmt(raw, &sqlite3_finalize);
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    auto text = [&](int col) {
      const unsigned char* p = sqlite3_column_text(raw, col);
      return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
    };
    links.emplace_back(text(0), text(1));
  }
  if (rc != SQLITE_DONE) ThrowSqlite(db, kListLinks);
  return links;
}

// Attaches each distinct back-end file named by the links (a relative path
// taken from the front-end's folder), in the order of the link names, and
// records which of its tables are linked. The links to a file that cannot be
// used are noted with its error instead.
void AttachBackends(Connection& conn, bool writer) {
  auto links = ReadLinks(conn.db);
  std::sort(links.begin(), links.end(),
            [](const auto& a, const auto& b) { return ascii::LessNoCase(a.first, b.first); });
  struct Outcome {
    std::string schema;  // "" when not attached
    std::optional<RuntimeError> error;
  };
  std::map<std::string, Outcome> outcome_of_path;
  for (const auto& [name, connect] : links) {
    std::string path = BackendPath(conn.path, connect);
    if (path.empty()) continue;
    auto known = outcome_of_path.find(path);
    if (known == outcome_of_path.end()) {
      std::string schema = kBackendSchemaPrefix + std::to_string(conn.backends.size() + 1);
      std::optional<RuntimeError> error = Attach(conn.db, path, schema, writer);
      if (!error) conn.backends.push_back({schema, {}});
      known = outcome_of_path.emplace(path, Outcome{error ? "" : schema, error}).first;
    }
    if (known->second.error) {
      conn.unreachable.emplace(ascii::Lower(name), *known->second.error);
      continue;
    }
    for (BackendAccess& backend : conn.backends) {
      if (backend.schema == known->second.schema) backend.linked.insert(ascii::Lower(name));
    }
  }
}

// True when `schema` (any schema when nullptr) holds a table, not a view,
// named `table`. (The call needs SQLite built with
// SQLITE_ENABLE_COLUMN_METADATA, as the common builds are.)
bool HasTable(sqlite3* db, const char* schema, const char* table) {
  return sqlite3_table_column_metadata(db, schema, table, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr) == SQLITE_OK;
}

namespace {

// The position and length of the path in a connect text (after "DATABASE=",
// any case, up to the next ";" or the end); npos when the key is missing.
std::pair<size_t, size_t> PathSpan(const std::string& connect) {
  static constexpr std::string_view kKey = "DATABASE=";
  for (size_t i = 0; i + kKey.size() <= connect.size(); ++i) {
    if (ascii::EqualsNoCase(connect.substr(i, kKey.size()), std::string(kKey))) {
      size_t start = i + kKey.size();
      size_t end = connect.find(';', start);
      return {start, (end == std::string::npos ? connect.size() : end) - start};
    }
  }
  return {std::string::npos, 0};
}

}  // namespace

std::string ConnectDatabasePath(const std::string& connect) {
  auto [start, length] = PathSpan(connect);
  return start == std::string::npos ? "" : connect.substr(start, length);
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

std::string BackendPath(const std::string& front_end_path, const std::string& connect) {
  std::string path = ConnectDatabasePath(connect);
  if (path.empty()) return "";
  std::filesystem::path back_end(path);
  if (back_end.is_absolute()) return back_end.lexically_normal().string();
  std::filesystem::path folder = std::filesystem::path(AbsolutePath(front_end_path)).parent_path();
  return (folder / back_end).lexically_normal().string();
}

std::string LinkConnect(const std::string& back_end_path) {
  static constexpr const char* kConnectPrefix = ";DATABASE=";
  std::string path = AbsolutePath(back_end_path);
  if (path.find(';') != std::string::npos) throw jet::Error(jet::kInvalidPath, back_end_path);
  return kConnectPrefix + path;
}

std::string ResolvedConnect(const std::string& front_end_path, const std::string& connect) {
  auto [start, length] = PathSpan(connect);
  if (start == std::string::npos || length == 0) return connect;
  return connect.substr(0, start) + BackendPath(front_end_path, connect) +
         connect.substr(start + length);
}

}  // namespace kestle::db
