// The embedded host-database engine: an SQLite front-end file that speaks the
// Jet SQL dialect through the Database interface.
//
// A split database is a front-end file whose linked tables are listed in its
// table kestle_links (name, connect); the connect text names the back-end file
// after "DATABASE=" the way Jet's does (";DATABASE=/data/orders_be.db"). Opening
// the front-end attaches every back-end file named there, so that unqualified
// table names reach the linked tables. A missing back-end is not attached and
// the statements that use its tables fail, as Jet's would. As in Jet, the
// front-end sees only its local tables and its linked ones: a back-end table
// without a link cannot be read or changed, by plain or qualified name. The
// links are read once, when the front-end opens.
//
// Each statement must be one Jet statement (jet_check.h; an authorizer refuses
// what the check would have) and is translated from Jet SQL (jet_sql.h).
// Paths are plain file names, never SQLite URIs. Execute runs INSERT and UPDATE as INSERT/UPDATE OR
// IGNORE, so rows that break a key are skipped silently. Each action statement is atomic, as under
// autocommit, but their commits are grouped (commit_group.h): a crash loses at most the statements
// of the last fraction of a second, and what stays is a prefix of them. Action statements that
// differ only in their string literals share one prepared statement, the literals bound as
// parameters, so that the archive run's single-row statements cost little beyond SQLite's own
// commit work.
//
// A relative back-end path in a connect text is taken from the front-end's
// folder, whatever the current folder: TableDefs reports each linked table's
// connect text with the path so resolved (absolute), so that whoever reads it
// (the backup job) finds the very file that the engine attached.
//
// Every failure is a RuntimeError with DAO's number and text (jet_errors.h),
// never SQLite's own code; detail() holds the statement as written (and as
// translated when that differs). A back-end that is missing, not a database or
// locked does not stop the front-end from opening: the statements that use its
// linked tables fail with 3024 "Could not find file '<path>'.", 3343
// "Unrecognized database format '<path>'." or 3045 "Could not use '<path>';
// file already in use.", the path absolute. A front-end fails to open in the
// same words.
//
// Opening writes nothing that the mode does not ask for. A reader
// (OpenMode::kReadOnly) cannot change a file, never switches a journal mode
// and leaves no -wal or -shm file behind. A writer (kReadWrite, kCreate) puts
// each file it opens in WAL mode with synchronous=NORMAL. A file
// that is empty or not an SQLite database is never opened, so never turned
// into one.
#ifndef KESTLE_DB_SQLITE_SQLITE_DATABASE_H_
#define KESTLE_DB_SQLITE_SQLITE_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/sqlite/row_stream.h"

namespace kestle::db {

// The table listing a front-end's linked tables.
inline constexpr const char* kLinksTable = "kestle_links";
inline constexpr const char* kCreateLinksTable =
    "CREATE TABLE IF NOT EXISTS kestle_links (name TEXT PRIMARY KEY COLLATE NOCASE, "
    "connect TEXT NOT NULL)";

struct Connection;

// The column names and rows of a query, for tools that show whole results.
struct QueryResult {
  std::vector<std::string> columns;
  std::vector<std::vector<Value>> rows;
};

class SqliteDatabase : public Database {
 public:
  explicit SqliteDatabase(std::shared_ptr<Connection> connection);
  ~SqliteDatabase() override;

  void Execute(const std::string& sql) override;
  std::shared_ptr<Recordset> OpenRecordset(const std::string& source) override;
  // Local tables (Connect empty) and linked tables (Connect as stored in
  // kestle_links, its path made absolute from the front-end's folder), ordered
  // by name without regard to case; kestle_links and SQLite's own tables are
  // left out.
  std::vector<std::shared_ptr<TableDef>> TableDefs() override;

  // The number of rows the last successful Execute inserted, changed or deleted.
  int64_t RecordsAffected() const { return records_affected_; }
  // True when the Jet statement yields rows (a SELECT, or a PRAGMA that
  // answers), so that it belongs to OpenRecordset rather than Execute.
  bool ReturnsRows(const std::string& sql);
  // Runs a Jet statement that yields rows and returns all of them.
  QueryResult Query(const std::string& sql);
  // Runs a Jet statement that yields rows and streams them one at a time
  // (row_stream.h). The stream keeps the connection open while it lives.
  std::unique_ptr<RowStream> Stream(const std::string& sql);
  // The plan SQLite chooses for the Jet statement, one line per step, as
  // EXPLAIN QUERY PLAN reports it ("SEARCH t USING INDEX i (a=?)").
  std::vector<std::string> QueryPlan(const std::string& sql);
  // Commits the action statements run so far (they are otherwise committed in
  // groups). Throws the commit's failure, which names the statements lost.
  void Commit();
  // The front-end file this database was opened on, as an absolute path.
  const std::string& path() const;

 private:
  // Runs an action statement through the connection's cache of prepared
  // statement shapes; false when the statement is not cached, so that
  // Execute runs it the plain way.
  bool ExecuteCached(const std::string& sql);

  std::shared_ptr<Connection> connection_;
  int64_t records_affected_ = 0;
};

// How a front-end is opened.
enum class OpenMode {
  // Statements only read: no file is changed or left behind.
  kReadOnly,
  // Statements read and write; the file must exist.
  kReadWrite,
  // As kReadWrite; a missing front-end is made (empty, in WAL mode).
  kCreate,
};

// Opens the front-end at `front_end_path` and attaches its back-ends, with a
// busy timeout of several seconds. Throws 3024 when the file is missing (not
// for kCreate), 3343 when it is empty or not an SQLite database, 3045 when
// another program holds it locked.
std::shared_ptr<SqliteDatabase> OpenSqliteDatabase(const std::string& front_end_path,
                                                   OpenMode mode = OpenMode::kReadWrite);

// The back-end path in a connect text: what follows "DATABASE=" (any case) up
// to the next ";" or the end; "" when the key is missing.
std::string ConnectDatabasePath(const std::string& connect);

// `path` made absolute from the current folder, in its plain form.
std::string AbsolutePath(const std::string& path);

// The absolute path of the back-end that `connect` names for the front-end at
// `front_end_path` (a relative path is taken from the front-end's folder); ""
// when the connect text names none.
std::string BackendPath(const std::string& front_end_path, const std::string& connect);

// The connect text of a link to the back-end at `back_end_path`:
// ";DATABASE=" and the absolute path. Throws 3044 (not a valid path) when the
// path holds ";", which would end it in the connect text.
std::string LinkConnect(const std::string& back_end_path);

// `connect` with its back-end path replaced by BackendPath's.
std::string ResolvedConnect(const std::string& front_end_path, const std::string& connect);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_SQLITE_DATABASE_H_
