// The statement helpers shared by the engine's files (connection.h).
#include "db/sqlite/connection.h"

#include "db/jet_errors.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/ascii.h"

namespace kestle::db {

// The statement text shown in an error's detail: the Jet text, and SQLite's
// when the translation changed it.
std::string Detail(const std::string& jet, const std::string& translated) {
  return translated == jet ? jet : jet + "\nSQLite: " + translated;
}

// The failure of an internal statement `sql` on `db`, in DAO's terms.
RuntimeError SqliteError(sqlite3* db, const std::string& sql) {
  const char* file = sqlite3_db_filename(db, "main");
  return JetErrorOf(sqlite3_extended_errcode(db), sqlite3_errmsg(db), FailureSite::kStatement,
                    file != nullptr ? file : "", sql, sql);
}

[[noreturn]] void ThrowSqlite(sqlite3* db, const std::string& sql) { throw SqliteError(db, sql); }

// The failure of a statement on `conn` in DAO's terms; `detail` starts with
// the Jet statement. A table the authorizer refused is one Jet cannot find,
// and a linked table whose back-end could not be attached fails with that
// file's error.
RuntimeError StatementError(const Connection& conn, const std::string& detail) {
  // A refused function fails with SQLITE_ERROR, not SQLITE_AUTH.
  if (conn.denied_error != 0) {
    RuntimeError e = jet::Error(conn.denied_error, conn.denied_argument);
    e.set_detail(detail);
    return e;
  }
  int code = sqlite3_extended_errcode(conn.db);
  std::string message = sqlite3_errmsg(conn.db);
  if (code == SQLITE_AUTH && !conn.denied_table.empty()) message = conn.denied_table;
  if (std::string table = MissingTableOf(message); !table.empty()) {
    auto it = conn.unreachable.find(ascii::Lower(table));
    if (it != conn.unreachable.end()) {
      RuntimeError e = it->second;
      e.set_detail(detail);
      return e;
    }
  }
  return JetErrorOf(code, message, FailureSite::kStatement, conn.path, detail, detail);
}

[[noreturn]] void ThrowStatement(const Connection& conn, const std::string& detail) {
  throw StatementError(conn, detail);
}

// Throws the engine's own failure `number` (jet_errors.h).
[[noreturn]] void ThrowEngine(int number, const std::string& detail) {
  RuntimeError e = jet::Error(number);
  e.set_detail(detail);
  throw e;
}

// How preparing one statement went.

// Prepares `sql` as exactly one statement into *stmt; text after it (other
// than blanks, comments and ";") counts as a second statement.
PrepareOutcome TryPrepareOne(Connection& conn, const std::string& sql, StatementPtr* stmt) {
  conn.denied_table.clear();
  conn.denied_error = 0;
  conn.preparing_alter = false;
  conn.prepared_writes.clear();
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(conn.db, sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, &tail) !=
      SQLITE_OK) {
    return PrepareOutcome::kFailed;
  }
  *stmt = StatementPtr(raw, &sqlite3_finalize);
  if (!*stmt) return PrepareOutcome::kEmpty;
  sqlite3_stmt* second = nullptr;
  int rc = sqlite3_prepare_v2(conn.db, tail, -1, &second, nullptr);
  if (second != nullptr || rc != SQLITE_OK) {
    sqlite3_finalize(second);
    stmt->reset();
    return PrepareOutcome::kSecondStatement;
  }
  return PrepareOutcome::kOk;
}

// Prepares `translated` as exactly one statement; text after it is refused, a
// stacked statement included.
StatementPtr PrepareOne(Connection& conn, const std::string& translated,
                        const std::string& detail) {
  StatementPtr stmt = NoStatement();
  switch (TryPrepareOne(conn, translated, &stmt)) {
    case PrepareOutcome::kOk:
      break;
    case PrepareOutcome::kFailed:
      ThrowStatement(conn, detail);
    case PrepareOutcome::kEmpty:
      ThrowEngine(jet::kInvalidStatement, detail);
    case PrepareOutcome::kSecondStatement:
      ThrowEngine(jet::kExtraCharacters, detail);
  }
  return stmt;
}

// Runs an internal statement that yields no rows.
void RunInternal(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    ThrowSqlite(db, sql);
  }
}

}  // namespace kestle::db
