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
// IGNORE, so rows that break a key are skipped silently. There is no transaction beyond SQLite's
// autocommit. Action statements that differ only in their string literals share one prepared
// statement, the literals bound as parameters, so that the archive run's single-row statements cost
// little beyond SQLite's own commit work.
//
// Every failure is a RuntimeError whose number is SQLite's extended result
// code and whose description is SQLite's message; detail() holds the
// statement as written (and as translated when that differs). The engine's own
// errors in Jet's words (a second statement, a select given to Execute, a
// back-end table without a link: "The Microsoft Jet database engine cannot
// find the input table or query 'NAME'.  Make sure it exists and that its name
// is spelled correctly.") carry SQLITE_ERROR, 1, rather than Jet's numbers
// (3078 for the last), so that every number comes from one scheme.
#ifndef KESTLE_DB_SQLITE_DATABASE_H_
#define KESTLE_DB_SQLITE_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/database.h"

namespace kestle::db {

// The table listing a front-end's linked tables.
inline constexpr const char* kLinksTable = "kestle_links";
inline constexpr const char* kCreateLinksTable =
    "CREATE TABLE IF NOT EXISTS kestle_links (name TEXT PRIMARY KEY COLLATE NOCASE, "
    "connect TEXT NOT NULL)";

// The message of the error raised for text holding a second statement.
inline constexpr const char* kSecondStatementText = "Characters found after end of SQL statement.";
// The message of the error raised when Execute is given a query.
inline constexpr const char* kSelectNotExecutableText = "Cannot execute a select query.";
// The message of the error raised for a field name the record set lacks.
inline constexpr const char* kItemNotFoundText = "Item not found in this collection.";

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
  // kestle_links), ordered by name without regard to case; kestle_links and
  // SQLite's own tables are left out.
  std::vector<std::shared_ptr<TableDef>> TableDefs() override;

  // The number of rows the last successful Execute inserted, changed or deleted.
  int64_t RecordsAffected() const { return records_affected_; }
  // True when the Jet statement yields rows (a SELECT, or a PRAGMA that
  // answers), so that it belongs to OpenRecordset rather than Execute.
  bool ReturnsRows(const std::string& sql);
  // Runs a Jet statement that yields rows and returns all of them.
  QueryResult Query(const std::string& sql);
  // The plan SQLite chooses for the Jet statement, one line per step, as
  // EXPLAIN QUERY PLAN reports it ("SEARCH t USING INDEX i (a=?)").
  std::vector<std::string> QueryPlan(const std::string& sql);
  // The front-end file this database was opened on.
  const std::string& path() const;

 private:
  // Runs an action statement through the connection's cache of prepared
  // statement shapes; false when the statement is not cached, so that
  // Execute runs it the plain way.
  bool ExecuteCached(const std::string& sql);

  std::shared_ptr<Connection> connection_;
  int64_t records_affected_ = 0;
};

// Opens the front-end at `front_end_path` and attaches its back-ends. The file
// must exist unless `create` is true (then an empty front-end is made).
// Sets WAL journaling, synchronous=NORMAL and a busy timeout of several seconds.
std::shared_ptr<SqliteDatabase> OpenSqliteDatabase(const std::string& front_end_path,
                                                   bool create = false);

// The back-end path in a connect text: what follows "DATABASE=" (any case) up
// to the next ";" or the end; "" when the key is missing.
std::string ConnectDatabasePath(const std::string& connect);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_DATABASE_H_
