// Archiver: the statements an archive run sends (checked against the golden
// files shared with the automation server's tests), the date check, every
// error path's message box and result, progress and the mDB lifetime, against
// a scripted database; then whole runs and backups on real split SQLite
// databases.
#include "component/archiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "component/result_codes.h"
#include "component/scripted_database_test_util.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sample_database.h"
#include "db/sqlite/snapshot.h"
#include "platform/fake_env.h"
#include "platform/scratch_test_util.h"

namespace kestle {
namespace {

using testing::ScriptedDatabase;
using Strings = std::vector<std::string>;

// Functions rather than globals: MakeDate must not run during static
// initialisation, before the date library's own tables exist.
Date Lpc() { return MakeDate(2025, 7, 1); }
Date End() { return MakeDate(2025, 6, 30); }

// The scripted scenario shared with the automation server's tests.
std::shared_ptr<ScriptedDatabase> GoldenScenario() {
  auto db = std::make_shared<ScriptedDatabase>();
  db->Answer("SELECT [inventory transactions].Purc", "PurchaseOrderID", {"PO-7", "PO'8"});
  db->Answer(" SELECT  [inventory transactions].SalesOrderID", "SalesOrderID", {"SO*9"});
  db->Answer("Archiver_ListToDelete", "OrderID", {"PO-1", "WO-2"});
  return db;
}

// Runs archiveNowAll when `all`, else archiveNow.
int32_t Archive(Archiver& archiver, bool all, std::shared_ptr<db::Database> db, Date lpc = Lpc(),
                Date end = End()) {
  return all ? archiver.archiveNowAll(db, lpc, end) : archiver.archiveNow(db, lpc, end);
}

class ArchiverGoldenTest : public ::testing::TestWithParam<bool> {};

TEST_P(ArchiverGoldenTest, SendsExactlyTheGoldenStatements) {
  const bool all = GetParam();
  FakeEnv env;
  Archiver archiver(&env);
  auto db = GoldenScenario();
  const std::shared_ptr<db::Database> aDB = db;

  EXPECT_EQ(Archive(archiver, all, aDB), kResultDone);
  EXPECT_TRUE(env.boxes().empty());
  Strings expected;
  std::istringstream golden(
      testing::ReadBytes(std::string(KESTLE_SOURCE_DIR) + "/src/archive/testdata/" +
                         (all ? "archive_now_all.golden" : "archive_now.golden")));
  for (std::string line; std::getline(golden, line);) expected.push_back(line);
  EXPECT_EQ(db->log(), expected);
  // Arguments are const references; the run keeps no database reference.
  EXPECT_EQ(archiver.database(), nullptr);
  EXPECT_EQ(aDB, db);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, ArchiverGoldenTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "All" : "ClosedOnly"; });

TEST(ArchiverDateCheck, RefusesUnlessTheLpcDateIsAtLeastOneCalendarDayLater) {
  struct Case {
    Date lpc, end;
    int32_t result;
  };
  const Case cases[] = {
      {MakeDate(2025, 7, 1, 23, 59), MakeDate(2025, 7, 1, 0, 0), kResultRefused},  // same day
      {MakeDate(2025, 7, 1, 0, 0), MakeDate(2025, 7, 1, 23, 59), kResultRefused},
      {MakeDate(2025, 6, 1), MakeDate(2025, 7, 1), kResultRefused},             // end later
      {MakeDate(2025, 7, 2, 0, 0), MakeDate(2025, 7, 1, 23, 59), kResultDone},  // next day
      {MakeDate(2026, 1, 1), MakeDate(2025, 12, 31, 12, 0), kResultDone},
      // 23:59:59.7 is still the end date's day, not the next.
      {MakeDate(2025, 7, 1), MakeDate(2025, 6, 30, 23, 59, 59) + 0.7 / 86400, kResultDone},
  };
  for (const Case& c : cases) {
    for (bool all : {false, true}) {
      FakeEnv env;
      Archiver archiver(&env);
      auto db = std::make_shared<ScriptedDatabase>();
      EXPECT_EQ(Archive(archiver, all, db, c.lpc, c.end), c.result)
          << IsoDateTimeText(c.lpc) << " / " << IsoDateTimeText(c.end);
      EXPECT_TRUE(env.boxes().empty());
      // A refused run sends nothing at all.
      if (c.result == kResultRefused) {
        EXPECT_TRUE(db->log().empty());
      }
      // The list building alone makes the same check.
      auto list_db = std::make_shared<ScriptedDatabase>();
      EXPECT_EQ(archiver.BuildArchiveList(list_db, c.lpc, c.end, !all), c.result);
      EXPECT_EQ(list_db->log().empty(), c.result == kResultRefused);
    }
  }
}

TEST(ArchiverErrorPath, EachFailureShowsOneStopBoxAndEndsTheRun) {
  struct Case {
    const char* what;
    std::function<void(ScriptedDatabase&)> fault;  // null: no database object at all
    std::string box;
    std::string last_statement;  // "" when not checked
  };
  const std::string no_table =
      "The Microsoft Jet database engine cannot find the input table or query "
      "'Archiver_ListToDelete'.";
  const Case cases[] = {
      {"missing work table: stops at once",
       [&](ScriptedDatabase& db) {
         db.FailOn("DELETE * FROM Archiver_ListToDelete;", 0, 3078, no_table);
       },
       "3078: " + no_table, "EXECUTE DELETE * FROM Archiver_ListToDelete;"},
      {"negative numbers keep their sign",
       [](ScriptedDatabase& db) {
         db.FailOn("OPEN", 0, -2147467259, "Unspecified error");
         db.FailOn("SELECT", 0, -2147467259, "Unspecified error");
       },
       "-2147467259: Unspecified error", ""},
      {"the deletion pass stops at the second identifier's first statement",
       [](ScriptedDatabase& db) {
         db.FailOn("DELETE * FROM [Inventory Transactions]", 3, 3218,
                   "Could not update; currently locked.");
       },
       "3218: Could not update; currently locked.",
       "EXECUTE DELETE * FROM [Inventory Transactions] WHERE [Inventory "
       "Transactions].[PurchaseOrderID] = 'WO-2';"},
      {"a null identifier",
       [](ScriptedDatabase& db) { db.Answer("Archiver_ListToDelete", "OrderID", {db::Value()}); },
       "94: Invalid use of Null", ""},
      {"no database object", nullptr, "91: Object variable or With block variable not set", ""},
  };
  for (const Case& c : cases) {
    for (bool all : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (all ? " (all)" : ""));
      FakeEnv env;
      Archiver archiver(&env);
      std::shared_ptr<ScriptedDatabase> db;
      if (c.fault) {
        db = c.last_statement.empty() ? std::make_shared<ScriptedDatabase>() : GoldenScenario();
        c.fault(*db);
      }
      EXPECT_EQ(Archive(archiver, all, db), kResultArchiveFailed);
      ASSERT_EQ(env.boxes().size(), 1u);
      EXPECT_EQ(env.boxes()[0].text, c.box);
      EXPECT_EQ(env.boxes()[0].style, kMbOk | kMbIconStop);
      EXPECT_EQ(env.boxes()[0].title, kAppTitle);
      if (!c.last_statement.empty()) {
        EXPECT_EQ(db->log().back(), c.last_statement);
      }
    }
  }
}

TEST(ArchiverProgress, ReportsZeroWhenTheListIsReadyThenEachRow) {
  FakeEnv env;
  Archiver archiver(&env);
  std::vector<int64_t> seen;
  archiver.set_progress([&](int64_t done) { seen.push_back(done); });
  EXPECT_EQ(archiver.archiveNow(GoldenScenario(), Lpc(), End()), kResultDone);
  EXPECT_EQ(seen, (std::vector<int64_t>{0, 1, 2}));
}

TEST(ArchiverDatabaseReference, OnlyBackupNowHoldsTheDatabase) {
  FakeEnv env;
  auto first = std::make_shared<ScriptedDatabase>();
  auto second = std::make_shared<ScriptedDatabase>();
  {
    Archiver archiver(&env);
    archiver.archiveNow(first, Lpc(), End());
    EXPECT_EQ(archiver.database(), nullptr);
    // No linked table: the backup fails, but the reference is kept.
    EXPECT_EQ(archiver.backupNow(first, "", ""), kResultBackupFailed);
    EXPECT_EQ(archiver.database(), first);
    EXPECT_EQ(first.use_count(), 2);
    archiver.archiveNowAll(second, Lpc(), End());
    EXPECT_EQ(archiver.database(), first);
    archiver.backupNow(second, "", "");
    EXPECT_EQ(archiver.database(), second);
    EXPECT_EQ(first.use_count(), 1);
    // No database object: the backup's box has no icon.
    env.clear_boxes();
    EXPECT_EQ(archiver.backupNow(nullptr, "", "x"), kResultBackupFailed);
    ASSERT_EQ(env.boxes().size(), 1u);
    EXPECT_EQ(env.boxes()[0].text, "91: Object variable or With block variable not set");
    EXPECT_EQ(env.boxes()[0].style, kMbOk);
    EXPECT_EQ(env.boxes()[0].title, kAppTitle);
  }
  EXPECT_EQ(second.use_count(), 1);
}

// --- Real split databases ----------------------------------------------------

constexpr const char* kBackendRows = R"sql(
PRAGMA journal_mode=WAL;
INSERT INTO Status VALUES (1, 'Open'), (2, 'Closed'), (3, 'Archived');
INSERT INTO [purchase orders] (PurchaseOrderID, StatusId) VALUES
  ('P-old', 2), ('P''open', 1), ('P-new', 2);
INSERT INTO [sales orders] (SalesOrderID, StatusId) VALUES
  ('S-old', 3), ('WO-7', 2), ('S-open', 1);
INSERT INTO [inventory transactions] (TransactionDate, PurchaseOrderID, SalesOrderID) VALUES
  ('2025-01-10 00:00:00', 'P-old', NULL), ('2025-02-10 00:00:00', 'P-old', NULL),
  ('2025-01-10 00:00:00', 'P''open', NULL), ('2025-07-10 00:00:00', 'P-new', NULL),
  ('2025-03-01 00:00:00', NULL, 'S-old'), ('2025-03-02 00:00:00', NULL, 'WO-7'),
  ('2025-03-03 00:00:00', NULL, 'S-open'), ('2025-03-04 00:00:00', NULL, 'WO-9');
)sql";

class SplitDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db::testing::RunScript(back_, db::testing::Script(db::kHostBackEndSchema) + kBackendRows);
    db::testing::RunScript(front_, std::string(db::kCreateLinksTable) + ";\n" +
                                       db::testing::WorkTablesScript() +
                                       "INSERT INTO Archiver_ListToDelete VALUES ('stale', NULL)");
    for (const char* table :
         {"Status", "purchase orders", "sales orders", "inventory transactions"}) {
      db::testing::RunScript(front_, std::string("INSERT INTO kestle_links VALUES ('") + table +
                                         "', ';DATABASE=" + back_ + "')");
    }
  }

  // The rows of a Jet query on the front-end (back-end tables through their
  // links), or on another database file.
  Strings Rows(const std::string& sql, const std::string& file = "") {
    return db::testing::Rows(*db::OpenSqliteDatabase(file.empty() ? front_ : file), sql);
  }
  Strings BackupRows() {
    return Rows(
        "SELECT BackupName & '|' & BackupLocation & '|' & BackupDate "
        "FROM BackupManagerTable");
  }
  std::shared_ptr<db::Database> Open() { return db::OpenSqliteDatabase(front_); }

  FakeEnv env_;
  testing::ScratchDir dir_;
  std::string back_ = dir_.File("Orders_be.mdb");
  std::string front_ = dir_.File("orders.db");
  std::string copy_ = dir_.File("Backup/260105-0703_Orders_be.mdb");
};

TEST_F(SplitDatabaseTest, FailureInTheDeletionPassKeepsWhatRanBefore) {
  // The second listed order loses its purchase-side transactions, then its
  // order-row statement fails: no transaction undoes what ran before.
  auto faulty = std::make_shared<ScriptedDatabase>(Open());
  faulty->FailOn("DELETE * FROM [Purchase Orders]", 2, 5, "database is locked");
  Archiver archiver(&env_);
  EXPECT_EQ(archiver.archiveNowAll(faulty, Lpc(), End()), kResultArchiveFailed);
  ASSERT_EQ(env_.boxes().size(), 1u);
  EXPECT_EQ(env_.boxes()[0].text, "5: database is locked");

  // The walk order is the work table's row order.
  const Strings order = Rows("SELECT TOP 3 OrderID FROM Archiver_ListToDelete");
  ASSERT_EQ(order.size(), 3u);
  ASSERT_EQ(order[1][0], 'P');  // a purchase order: the failing statement's side
  const Strings po_left = Rows("SELECT PurchaseOrderID FROM [purchase orders]");
  const Strings tx_left =
      Rows("SELECT PurchaseOrderID & SalesOrderID FROM [inventory transactions]");
  auto has = [](const Strings& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
  };
  EXPECT_FALSE(has(po_left, order[0]) || has(tx_left, order[0]));  // fully deleted
  EXPECT_TRUE(has(po_left, order[1]));                             // its row survived
  EXPECT_FALSE(has(tx_left, order[1]));                            // its transactions did not
  EXPECT_TRUE(has(tx_left, order[2]));                             // the walk stopped
}

TEST_F(SplitDatabaseTest, BackupCopiesTheBackendAndRecordsIt) {
  Archiver archiver(&env_);
  auto database = Open();
  EXPECT_EQ(archiver.backupNow(database, "", "Before archive"), kResultDone);
  EXPECT_TRUE(env_.boxes().empty());
  // The general date text the job writes is stored as a date in the
  // DATETIME column.
  EXPECT_EQ(BackupRows(), (Strings{"Before archive|" + copy_ + "|2026-01-05 07:03:00"}));
  EXPECT_EQ(Rows("SELECT count(*) FROM [inventory transactions]", copy_), (Strings{"8"}));
  EXPECT_EQ(archiver.database(), database);

  // Same minute, empty label: the file is replaced and a second row added.
  env_.set_now(MakeDate(2026, 1, 5, 7, 3, 40));
  EXPECT_EQ(archiver.backupNow(database, dir_.File("Backup"), ""), kResultDone);
  EXPECT_EQ(BackupRows().size(), 2u);
  EXPECT_EQ(BackupRows()[1], "|" + copy_ + "|2026-01-05 07:03:40");
}

TEST_F(SplitDatabaseTest, BackupFailuresShowOneBoxAndRecordNothing) {
  struct Case {
    const char* what;
    std::string setup, path, name, box;  // box "": any text
    std::string copy;                    // a file that must exist afterwards ("": none)
  };
  const Case cases[] = {
      {"a quote in backupName: the copy stays, the insert fails", "", "", "Joe's", "", copy_},
      {"a missing parent folder", "", dir_.File("none/b"), "x", "76: Path not found", ""},
      {"no BackupManagerTable: the copy stays", "DROP TABLE BackupManagerTable", dir_.File("nt"),
       "x", "", dir_.File("nt/260105-0703_Orders_be.mdb")},
      {"no back-end file",
       "UPDATE kestle_links SET connect = ';DATABASE=" + dir_.File("moved") + "'", "", "x",
       "53: Back-end database file not found", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.setup.empty()) db::testing::RunScript(front_, c.setup);
    FakeEnv env;
    Archiver archiver(&env);
    EXPECT_EQ(archiver.backupNow(Open(), c.path, c.name), kResultBackupFailed);
    ASSERT_EQ(env.boxes().size(), 1u);
    if (!c.box.empty()) {
      EXPECT_EQ(env.boxes()[0].text, c.box);
    }
    EXPECT_EQ(env.boxes()[0].style, kMbOk);
    EXPECT_EQ(env.boxes()[0].title, kAppTitle);
    if (!c.copy.empty()) {
      EXPECT_TRUE(testing::Exists(c.copy));
    }
    db::testing::RunScript(front_, "CREATE TABLE IF NOT EXISTS BackupManagerTable (x)");
    EXPECT_EQ(Rows("SELECT count(*) FROM BackupManagerTable"), Strings{"0"});
  }
  EXPECT_FALSE(testing::Exists(dir_.File("none")));
}

TEST_F(SplitDatabaseTest, BackupGoesThroughTheCopierGiven) {
  // The kestle tool passes a snapshot copier (tested with the database
  // engine); the Archiver must use it instead of the Env's plain copy.
  std::vector<std::string> calls;
  Archiver archiver(&env_, [&](const std::string& from, const std::string& to) {
    calls.push_back(from + " -> " + to);
    db::SnapshotCopy(env_, from, to);
  });
  env_.set_copy_fault(61);
  EXPECT_EQ(archiver.backupNow(Open(), "", "x"), kResultDone);
  EXPECT_EQ(calls, Strings{back_ + " -> " + copy_});
  EXPECT_EQ(Rows("SELECT count(*) FROM Status", copy_), (Strings{"3"}));
}

}  // namespace
}  // namespace kestle
