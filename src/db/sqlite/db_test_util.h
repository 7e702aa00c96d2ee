// Helpers shared by the engine's tests: a temporary folder, one-shot SQLite
// set-up of raw files, reading a query's rows as text, and another process
// that holds a database locked.
#ifndef KESTLE_DB_SQLITE_DB_TEST_UTIL_H_
#define KESTLE_DB_SQLITE_DB_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "db/sqlite/sample_database.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/scratch_test_util.h"

namespace kestle::db::testing {

// A fresh folder under the system's temporary folder, removed with its
// content at the end of the test.
using TempDir = kestle::testing::ScratchDir;

// Runs SQLite script text on the file at `path` (created when missing),
// bypassing the engine: for building fixtures and checking files.
inline void RunScript(const std::string& path, const std::string& script) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  // Another program's writer waits for the engine's locks, as SQLite's shell does.
  sqlite3_busy_timeout(db, 5000);
  char* error = nullptr;
  int rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &error);
  std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message << "\n" << script;
}

// Statements as one script, each ended by ";".
template <size_t N>
std::string Script(const char* const (&statements)[N]) {
  std::string script;
  for (const char* statement : statements) script += std::string(statement) + ";\n";
  return script;
}

// The statements that make the component's work tables, as one script.
inline std::string WorkTablesScript() {
  std::string script;
  for (const WorkTable& table : kWorkTables) {
    for (const char* statement : table.create) {
      if (statement != nullptr) script += std::string(statement) + ";\n";
    }
  }
  return script;
}

// The value as a test compares it: "Null" for Null, else its text.
inline std::string Show(const Value& v) { return v.is_null() ? "Null" : v.ToText(); }

// Every row of a Jet query as "a|b|c" lines.
inline std::vector<std::string> Rows(SqliteDatabase& db, const std::string& sql) {
  std::vector<std::string> rows;
  for (const auto& row : db.Query(sql).rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) line += (c ? "|" : "") + Show(row[c]);
    rows.push_back(line);
  }
  return rows;
}

// The single value of a one-row, one-column Jet query.
inline std::string Scalar(SqliteDatabase& db, const std::string& sql) {
  QueryResult r = db.Query(sql);
  if (r.rows.size() != 1 || r.rows[0].size() != 1) return "<not one value>";
  return Show(r.rows[0][0]);
}

// Another process that runs SQLite `script` on the file at `path` and keeps
// the locks it took (an open transaction's) until the object goes away;
// locked() is false when the script failed.
class LockHolder {
 public:
  LockHolder(const std::string& path, const char* script) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      sqlite3* db = nullptr;
      char ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                        sqlite3_exec(db, script, nullptr, nullptr, nullptr) == SQLITE_OK
                    ? 1
                    : 0;
      if (write(ready[1], &ok, 1) != 1) _exit(1);
      char byte;
      while (read(release[0], &byte, 1) > 0) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char ok = 0;
    locked_ = read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
  }
  ~LockHolder() {
    close(release_);
    waitpid(pid_, nullptr, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_;
  int release_;
  bool locked_ = false;
};

}  // namespace kestle::db::testing

#endif  // KESTLE_DB_SQLITE_DB_TEST_UTIL_H_
