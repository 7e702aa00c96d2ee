// An archive run beside other processes: killed half way, it leaves a sound
// back-end holding exactly the effect of a prefix of its statements; another
// writer gets its turn while it runs.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "cli/cli_test_util.h"

namespace kestle::cli {
namespace {

class ArchiveBesideOthersTest : public testing::SampleCopyTest<40000> {
 protected:
  // Starts `kestle archive` on the copy, its output discarded.
  pid_t StartRun() {
    const pid_t pid = fork();
    if (pid == 0) {
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execl(KESTLE_BINARY, "kestle", "archive", front_.c_str(), "--end", "2025-06-30", "--lpc",
            "2025-07-01", "--yes", static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }
};

// The single value of `sql` on the raw connection `db`, as text.
std::string Scalar(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  std::string v = "<none>";
  if (sqlite3_step(st) == SQLITE_ROW) v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  return v;
}

// The rows of the order tables in the back-end `schema` of `db`.
int64_t Rows(sqlite3* db, const std::string& schema) {
  return std::stoll(Scalar(db, "SELECT (SELECT count(*) FROM " + schema +
                                   ".[purchase orders]) + (SELECT count(*) FROM " + schema +
                                   ".[sales orders]) + (SELECT count(*) FROM " + schema +
                                   ".[inventory transactions])"));
}

TEST_F(ArchiveBesideOthersTest, AKilledRunLeavesAPrefixOfItsStatements) {
  const std::string original = dir_.File("original_be.db");
  std::filesystem::copy_file(back_, original);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(original.c_str(), &db), SQLITE_OK);
  const int64_t before = Rows(db, "main");
  const pid_t run = StartRun();
  // Killed as soon as a commit of the deletion pass shows, mid-group.
  sqlite3* watch = nullptr;
  sqlite3_open_v2(back_.c_str(), &watch, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_busy_timeout(watch, 5000);
  while (Rows(watch, "main") == before) usleep(1000);
  sqlite3_close(watch);
  ASSERT_EQ(waitpid(run, nullptr, WNOHANG), 0) << "the run ended before it could be killed";
  kill(run, SIGKILL);
  waitpid(run, nullptr, 0);

  // Replays the run's statements on the original, in the run's order, until
  // as many rows are left as in the killed run's back-end; the two must then
  // hold the same rows.
  const std::string attach = "ATTACH '" + back_ + "' AS k; ATTACH '" + front_ + "' AS f; BEGIN";
  ASSERT_EQ(sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(Scalar(db, "PRAGMA k.integrity_check"), "ok");
  const int64_t left = Rows(db, "k");
  ASSERT_LT(left, before);
  constexpr const char* kRunStatements[] = {
      "DELETE FROM [inventory transactions] WHERE PurchaseOrderID = ?1",
      "DELETE FROM [purchase orders] WHERE PurchaseOrderID = ?1",
      "DELETE FROM [inventory transactions] WHERE SalesOrderID = ?1",
      "DELETE FROM [sales orders] WHERE SalesOrderID = ?1"};
  sqlite3_stmt* list = nullptr;
  sqlite3_prepare_v2(db, "SELECT OrderID FROM f.Archiver_ListToDelete ORDER BY rowid", -1, &list,
                     nullptr);
  int64_t rows = before;
  while (rows > left && sqlite3_step(list) == SQLITE_ROW) {
    for (int k = 0; k < 4 && rows > left; ++k) {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(db, kRunStatements[k], -1, &st, nullptr);
      sqlite3_bind_value(st, 1, sqlite3_column_value(list, 0));
      ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
      sqlite3_finalize(st);
      rows -= sqlite3_changes(db);
    }
  }
  sqlite3_finalize(list);
  for (const char* table : {"[purchase orders]", "[sales orders]", "[inventory transactions]"}) {
    const std::string t = table;
    EXPECT_EQ(Scalar(db, "SELECT count(*) FROM (SELECT * FROM main." + t +
                             " EXCEPT SELECT * FROM k." + t + ") ") +
                  Scalar(db, "SELECT count(*) FROM (SELECT * FROM k." + t +
                                 " EXCEPT SELECT * FROM main." + t + ")"),
              "00")
        << table;
  }
  sqlite3_close(db);
}

TEST_F(ArchiveBesideOthersTest, AnotherWriterGetsItsTurnDuringARun) {
  const pid_t run = StartRun();
  for (int k = 0; k < 10; ++k) {
    const testing::Outcome o = testing::Kestle(
        dir_, {"db", "sql", front_,
               "UPDATE [purchase orders] SET SupplierID = SupplierID WHERE PurchaseOrderID = "
               "'PO000001'"});
    EXPECT_EQ(o.exit_code, 0) << o.err;
  }
  int status = 0;
  waitpid(run, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace kestle::cli
