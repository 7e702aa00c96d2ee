// Archiver on real split SQLite databases: whole archive runs with the work
// table's content after each outcome, and backups of the back-end file with a
// fixed clock, including every failure path and a backup taken while another
// process commits to the back-end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "component/archiver.h"
#include "component/result_codes.h"
#include "component/scripted_database_test_util.h"
#include "db/snapshot.h"
#include "db/sqlite_database.h"
#include "platform/fake_env.h"

namespace kestle {
namespace {

constexpr const char* kBackendSchema = R"sql(
PRAGMA journal_mode=WAL;
CREATE TABLE Status (StatusId INTEGER PRIMARY KEY, Status TEXT);
CREATE TABLE [purchase orders] (PurchaseOrderID TEXT PRIMARY KEY COLLATE NOCASE, StatusId INTEGER);
CREATE TABLE [sales orders] (SalesOrderID TEXT PRIMARY KEY COLLATE NOCASE, StatusId INTEGER);
CREATE TABLE [inventory transactions] (TransactionID INTEGER PRIMARY KEY,
  TransactionDate DATETIME, PurchaseOrderID TEXT COLLATE NOCASE,
  SalesOrderID TEXT COLLATE NOCASE, DateRequired DATETIME, ETA DATETIME);
CREATE INDEX it_po ON [inventory transactions] (PurchaseOrderID);
CREATE INDEX it_so ON [inventory transactions] (SalesOrderID);
INSERT INTO Status VALUES (1, 'Open'), (2, 'Closed'), (3, 'Archived');
INSERT INTO [purchase orders] VALUES ('P-old', 2), ('P''open', 1), ('P-new', 2);
INSERT INTO [sales orders] VALUES ('S-old', 3), ('WO-7', 2), ('S-open', 1);
INSERT INTO [inventory transactions] (TransactionDate, PurchaseOrderID, SalesOrderID) VALUES
  ('2025-01-10 00:00:00', 'P-old', NULL), ('2025-02-10 00:00:00', 'P-old', NULL),
  ('2025-01-10 00:00:00', 'P''open', NULL), ('2025-07-10 00:00:00', 'P-new', NULL),
  ('2025-03-01 00:00:00', NULL, 'S-old'), ('2025-03-02 00:00:00', NULL, 'WO-7'),
  ('2025-03-03 00:00:00', NULL, 'S-open'), ('2025-03-04 00:00:00', NULL, 'WO-9');
)sql";

constexpr const char* kFrontSchema = R"sql(
CREATE TABLE kestle_links (name TEXT PRIMARY KEY COLLATE NOCASE, connect TEXT NOT NULL);
CREATE TABLE Archiver_ListToDelete (OrderID TEXT, LastTransDate DATETIME);
CREATE TABLE BackupManagerTable (BackupName TEXT, BackupLocation TEXT, BackupDate TEXT);
INSERT INTO Archiver_ListToDelete VALUES ('stale', NULL);
)sql";

const char* const kLinkedTables[] = {"Status", "purchase orders", "sales orders",
                                     "inventory transactions"};

// Functions rather than globals: MakeDate must not run during static
// initialisation, before the date library's own tables exist.
Date Lpc() { return MakeDate(2025, 7, 1); }
Date End() { return MakeDate(2025, 6, 30); }

class SplitDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestle_component_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    back_ = dir_ + "/Orders_be.mdb";
    front_ = dir_ + "/orders.db";
    Sql(back_, kBackendSchema);
    Sql(front_, kFrontSchema);
    for (const char* table : kLinkedTables) {
      Sql(front_, std::string("INSERT INTO kestle_links VALUES ('") + table +
                      "', ';DATABASE=" + back_ + "')");
    }
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  static void Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* msg = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << msg;
    sqlite3_close(db);
  }
  // The first column of a query's rows, "NULL" for null.
  static std::vector<std::string> Column(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    std::vector<std::string> out;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(st, 0);
      out.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }
  std::vector<std::string> Back(const std::string& sql) { return Column(back_, sql); }
  std::vector<std::string> WorkTable() {
    return Column(front_, "SELECT DISTINCT OrderID FROM Archiver_ListToDelete ORDER BY 1");
  }
  std::vector<std::string> BackupRows() {
    return Column(front_,
                  "SELECT BackupName || '|' || BackupLocation || '|' || BackupDate "
                  "FROM BackupManagerTable ORDER BY rowid");
  }
  static bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }
  std::shared_ptr<db::Database> Open() { return db::OpenSqliteDatabase(front_); }

  using Strings = std::vector<std::string>;
  FakeEnv env_;
  std::string dir_, back_, front_;
};

TEST_F(SplitDatabaseTest, ArchiveNowRemovesOnlyFinishedOrdersBeforeTheEndDate) {
  Archiver archiver(&env_);
  EXPECT_EQ(archiver.archiveNow(Open(), Lpc(), End()), kResultDone);
  EXPECT_TRUE(env_.boxes().empty());
  EXPECT_EQ(WorkTable(), (Strings{"P-old", "S-old", "WO-7"}));
  EXPECT_EQ(Back("SELECT PurchaseOrderID FROM [purchase orders] ORDER BY 1"),
            (Strings{"P'open", "P-new"}));
  EXPECT_EQ(Back("SELECT SalesOrderID FROM [sales orders] ORDER BY 1"), (Strings{"S-open"}));
  EXPECT_EQ(Back("SELECT coalesce(PurchaseOrderID, SalesOrderID) FROM [inventory transactions] "
                 "ORDER BY 1"),
            (Strings{"P'open", "P-new", "S-open", "WO-9"}));
}

TEST_F(SplitDatabaseTest, ArchiveNowAllTakesEveryStatusAndOrphanWorkOrders) {
  Archiver archiver(&env_);
  EXPECT_EQ(archiver.archiveNowAll(Open(), Lpc(), End()), kResultDone);
  EXPECT_EQ(WorkTable(), (Strings{"P'open", "P-old", "S-old", "S-open", "WO-7", "WO-9"}));
  EXPECT_EQ(Back("SELECT PurchaseOrderID FROM [purchase orders]"), (Strings{"P-new"}));
  EXPECT_EQ(Back("SELECT count(*) FROM [sales orders]"), (Strings{"0"}));
  EXPECT_EQ(Back("SELECT PurchaseOrderID FROM [inventory transactions]"), (Strings{"P-new"}));
}

TEST_F(SplitDatabaseTest, RefusedDatesLeaveEverythingIncludingTheWorkTable) {
  Archiver archiver(&env_);
  EXPECT_EQ(archiver.archiveNowAll(Open(), End() + 0.9, End()), kResultRefused);
  EXPECT_EQ(WorkTable(), (Strings{"stale"}));
  EXPECT_EQ(Back("SELECT count(*) FROM [inventory transactions]"), (Strings{"8"}));
  EXPECT_TRUE(env_.boxes().empty());
}

TEST_F(SplitDatabaseTest, MissingWorkTableGivesOneBoxAndChangesNothing) {
  Sql(front_, "DROP TABLE Archiver_ListToDelete");
  Archiver archiver(&env_);
  EXPECT_EQ(archiver.archiveNow(Open(), Lpc(), End()), kResultArchiveFailed);
  ASSERT_EQ(env_.boxes().size(), 1u);
  EXPECT_EQ(env_.boxes()[0].style, kMbOk | kMbIconStop);
  EXPECT_NE(env_.boxes()[0].text.find("Archiver_ListToDelete"), std::string::npos)
      << env_.boxes()[0].text;
  EXPECT_EQ(Back("SELECT count(*) FROM [inventory transactions]"), (Strings{"8"}));
}

TEST_F(SplitDatabaseTest, FailureInTheDeletionPassKeepsWhatRanBefore) {
  // The second listed order loses its purchase-side transactions, then its
  // order-row statement fails: it stays half deleted and the third is untouched.
  auto faulty = std::make_shared<testing::ScriptedDatabase>(Open());
  faulty->FailOn("DELETE * FROM [Purchase Orders]", 2, 5, "database is locked");
  Archiver archiver(&env_);
  EXPECT_EQ(archiver.archiveNowAll(faulty, Lpc(), End()), kResultArchiveFailed);
  ASSERT_EQ(env_.boxes().size(), 1u);
  EXPECT_EQ(env_.boxes()[0].text, "5: database is locked");

  // The list stays as built; the walk order is the work table's row order.
  const Strings order =
      Column(front_, "SELECT OrderID FROM Archiver_ListToDelete ORDER BY rowid LIMIT 3");
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(WorkTable(), (Strings{"P'open", "P-old", "S-old", "S-open", "WO-7", "WO-9"}));
  const Strings po_left = Back("SELECT PurchaseOrderID FROM [purchase orders] ORDER BY 1");
  const Strings tx_left =
      Back("SELECT DISTINCT coalesce(PurchaseOrderID, SalesOrderID) FROM [inventory transactions]");
  auto has = [](const Strings& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
  };
  EXPECT_FALSE(has(po_left, order[0]));  // first order fully deleted
  EXPECT_FALSE(has(tx_left, order[0]));
  ASSERT_EQ(order[1][0], 'P');           // a purchase order: the failing statement's side
  EXPECT_TRUE(has(po_left, order[1]));   // its row survived
  EXPECT_FALSE(has(tx_left, order[1]));  // its transactions did not
  EXPECT_TRUE(has(tx_left, order[2]));   // the walk stopped
}

TEST_F(SplitDatabaseTest, BackupCopiesTheBackendAndRecordsIt) {
  Archiver archiver(&env_);
  auto database = Open();
  EXPECT_EQ(archiver.backupNow(database, "", "Before archive"), kResultDone);
  EXPECT_TRUE(env_.boxes().empty());
  const std::string copy = dir_ + "/Backup/260105-0703_Orders_be.mdb";
  EXPECT_TRUE(Exists(copy));
  EXPECT_EQ(BackupRows(), (Strings{"Before archive|" + copy + "|1/5/2026 7:03:00 AM"}));
  EXPECT_EQ(Column(copy, "SELECT count(*) FROM [inventory transactions]"), (Strings{"8"}));
  EXPECT_EQ(archiver.database(), database);

  // Same minute, empty label: the file is replaced and a second row added.
  env_.set_now(MakeDate(2026, 1, 5, 7, 3, 40));
  EXPECT_EQ(archiver.backupNow(database, dir_ + "/Backup", ""), kResultDone);
  EXPECT_EQ(BackupRows().size(), 2u);
  EXPECT_EQ(BackupRows()[1], "|" + copy + "|1/5/2026 7:03:40 AM");
}

TEST_F(SplitDatabaseTest, RelativeBackupFolderStaysRelative) {
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  Archiver archiver(&env_);
  const int32_t result = archiver.backupNow(Open(), "rel", "r");
  ASSERT_EQ(chdir(old_cwd), 0);
  EXPECT_EQ(result, kResultDone);
  EXPECT_TRUE(Exists(dir_ + "/rel/260105-0703_Orders_be.mdb"));
  EXPECT_EQ(BackupRows(), (Strings{"r|rel/260105-0703_Orders_be.mdb|1/5/2026 7:03:00 AM"}));
}

TEST_F(SplitDatabaseTest, BackupFailuresGiveMinusOneAndNoRow) {
  const std::string copy = dir_ + "/Backup/260105-0703_Orders_be.mdb";
  auto database = Open();
  {
    SCOPED_TRACE("a quote in backupName: the copy stays, the insert fails");
    FakeEnv env;
    Archiver archiver(&env);
    EXPECT_EQ(archiver.backupNow(database, "", "Joe's"), kResultBackupFailed);
    ASSERT_EQ(env.boxes().size(), 1u);
    EXPECT_EQ(env.boxes()[0].style, kMbOk);
    EXPECT_EQ(env.boxes()[0].title, kAppTitle);
    EXPECT_TRUE(Exists(copy));
    EXPECT_TRUE(BackupRows().empty());
  }
  {
    SCOPED_TRACE("a missing parent folder");
    FakeEnv env;
    Archiver archiver(&env);
    EXPECT_EQ(archiver.backupNow(database, dir_ + "/none/b", "x"), kResultBackupFailed);
    ASSERT_EQ(env.boxes().size(), 1u);
    EXPECT_EQ(env.boxes()[0].text, "76: Path not found");
    EXPECT_FALSE(Exists(dir_ + "/none"));
    EXPECT_TRUE(BackupRows().empty());
  }
  {
    SCOPED_TRACE("a failed copy keeps the new folder");
    FakeEnv env;
    env.set_copy_fault(61);
    Archiver archiver(&env);
    EXPECT_EQ(archiver.backupNow(database, dir_ + "/new", "x"), kResultBackupFailed);
    EXPECT_EQ(env.boxes().at(0).text, "61: Disk full");
    EXPECT_TRUE(Exists(dir_ + "/new"));
    EXPECT_FALSE(Exists(dir_ + "/new/260105-0703_Orders_be.mdb"));
    EXPECT_TRUE(BackupRows().empty());
  }
  {
    SCOPED_TRACE("no BackupManagerTable: the copy stays without a row");
    Sql(front_, "DROP TABLE BackupManagerTable");
    FakeEnv env;
    Archiver archiver(&env);
    EXPECT_EQ(archiver.backupNow(Open(), dir_ + "/nt", "x"), kResultBackupFailed);
    EXPECT_EQ(env.boxes().size(), 1u);
    EXPECT_TRUE(Exists(dir_ + "/nt/260105-0703_Orders_be.mdb"));
  }
}

TEST_F(SplitDatabaseTest, MissingBackendChangesNothing) {
  Sql(front_, "CREATE TABLE BackupManagerTable2 (x)");
  ASSERT_EQ(std::rename(back_.c_str(), (dir_ + "/moved.mdb").c_str()), 0);
  Archiver archiver(&env_);
  EXPECT_EQ(archiver.backupNow(Open(), "", "x"), kResultBackupFailed);
  ASSERT_EQ(env_.boxes().size(), 1u);
  EXPECT_EQ(env_.boxes()[0].text, "53: Back-end database file not found");
  EXPECT_FALSE(Exists(dir_ + "/Backup"));
  EXPECT_TRUE(BackupRows().empty());
}

TEST_F(SplitDatabaseTest, SnapshotBackupWhileAnotherProcessCommits) {
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // Commits small transactions to the back-end until killed.
    sqlite3* db = nullptr;
    if (sqlite3_open(back_.c_str(), &db) != SQLITE_OK) _exit(1);
    sqlite3_busy_timeout(db, 5000);
    for (int i = 0;; ++i) {
      sqlite3_exec(db,
                   "BEGIN; INSERT INTO [inventory transactions] (TransactionDate, SalesOrderID, "
                   "ETA) SELECT '2025-05-05 00:00:00', 'W' || random(), zeroblob(2000) FROM "
                   "(SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3); COMMIT;",
                   nullptr, nullptr, nullptr);
    }
  }
  // Let the writer get going before the first copy.
  while (std::stoi(Back("SELECT count(*) FROM [inventory transactions]").at(0)) < 200) {
    usleep(1000);
  }
  Env* files = &env_;
  Archiver archiver(&env_, [files](const std::string& from, const std::string& to) {
    db::SnapshotCopy(*files, from, to);
  });
  auto database = Open();
  for (int round = 0; round < 5; ++round) {
    env_.set_now(MakeDate(2026, 1, 5, 7, round));
    ASSERT_EQ(archiver.backupNow(database, dir_ + "/snap", "live"), kResultDone)
        << (env_.boxes().empty() ? "" : env_.boxes().back().text);
    const std::string copy = dir_ + "/snap/260105-070" + std::to_string(round) + "_Orders_be.mdb";
    EXPECT_EQ(Column(copy, "PRAGMA integrity_check"), (Strings{"ok"}));
    // Whole transactions only: the writer adds rows three at a time.
    EXPECT_EQ(std::stoi(Column(copy, "SELECT count(*) FROM [inventory transactions]").at(0)) % 3,
              8 % 3);
  }
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
}

}  // namespace
}  // namespace kestle
