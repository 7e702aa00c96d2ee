// The engine's open connection and the statement helpers shared by its
// files: preparing exactly one statement, and reporting a failure in DAO's
// terms.
#ifndef KESTLE_DB_SQLITE_CONNECTION_H_
#define KESTLE_DB_SQLITE_CONNECTION_H_

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/sqlite/commit_group.h"
#include "db/sqlite/statement_cache.h"
#include "platform/error.h"

namespace kestle::db {

// What the authorizer lets a statement reach in one attached back-end.
struct BackendAccess {
  std::string schema;
  // Names of the linked tables, ASCII lower case.
  std::set<std::string> linked;
};

// One open SQLite connection, shared by a database and its record sets so that
// a record set outliving its Database object stays valid.
struct Connection {
  sqlite3* db = nullptr;
  // The front-end's absolute path.
  std::string path;
  // Per linked table (ASCII lower case) whose back-end could not be attached,
  // the error that statements using the table fail with.
  std::map<std::string, RuntimeError> unreachable;
  // The attached back-ends in the order attached, for the authorizer.
  std::vector<BackendAccess> backends;
  // The first table the authorizer refused since the last prepare began.
  std::string denied_table;
  // Jet's error for another refusal of the authorizer since the last prepare
  // began (0 for none), and its argument.
  int denied_error = 0;
  std::string denied_argument;
  // True once the statement being prepared is an ALTER TABLE, whose own
  // schema rewriting calls some of SQLite's built-in functions.
  bool preparing_alter = false;
  // The tables (ASCII lower case) that the statements prepared since the last
  // prepare began insert into, update or delete from, their triggers included.
  std::set<std::string> prepared_writes;
  // Per table (ASCII lower case), the value of write_clock when a statement
  // that writes it last ran, so that a table record set knows when the rows it
  // read ahead may be stale.
  std::unordered_map<std::string, uint64_t> last_write;
  uint64_t write_clock = 0;
  StatementCache statements;
  // The open group of action statements (commit_group.h).
  CommitGroup group;
  // When the busy handler began its current wait.
  CommitGroup::Clock::time_point busy_since;

  // Notes that a statement writing `tables` runs now.
  void NoteWrites(const std::set<std::string>& tables) {
    ++write_clock;
    for (const std::string& t : tables) last_write[t] = write_clock;
  }
  Connection() { RegisterConnection(this); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  // Closing commits the open group; a failure then has no one to go to.
  ~Connection() {
    ForgetConnection(this);
    try {
      CommitGroupNow(*this);
    } catch (const RuntimeError&) {
    }
    statements.Clear();
    group.savepoint.reset();
    group.release.reset();
    sqlite3_close_v2(db);
  }
};

// The statement text shown in an error's detail: the Jet text, and SQLite's
// when the translation changed it.
std::string Detail(const std::string& jet, const std::string& translated);

// The failure of an internal statement `sql` on `db`, in DAO's terms.
RuntimeError SqliteError(sqlite3* db, const std::string& sql);

// Throws SqliteError(db, sql).
[[noreturn]] void ThrowSqlite(sqlite3* db, const std::string& sql);

// The failure of a statement on `conn` in DAO's terms; `detail` starts with
// the Jet statement. A table the authorizer refused is one Jet cannot find,
// and a linked table whose back-end could not be attached fails with that
// file's error.
RuntimeError StatementError(const Connection& conn, const std::string& detail);

// Throws StatementError(conn, detail).
[[noreturn]] void ThrowStatement(const Connection& conn, const std::string& detail);

// Throws the engine's own failure `number` (jet_errors.h).
[[noreturn]] void ThrowEngine(int number, const std::string& detail);

// How preparing one statement went.
enum class PrepareOutcome { kOk, kFailed, kEmpty, kSecondStatement };

// Prepares `sql` as exactly one statement into *stmt; text after it (other
// than blanks, comments and ";") counts as a second statement.
PrepareOutcome TryPrepareOne(Connection& conn, const std::string& sql, StatementPtr* stmt);

// Prepares `translated` as exactly one statement; text after it is refused, a
// stacked statement included. Failures carry `detail`.
StatementPtr PrepareOne(Connection& conn, const std::string& translated, const std::string& detail);

// Runs an internal statement that yields no rows.
void RunInternal(sqlite3* db, const std::string& sql);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_CONNECTION_H_
