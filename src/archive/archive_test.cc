// The archive candidate list and the deletion pass on real SQLite databases
// built by hand: every fill and prune rule, the date boundaries, null dates,
// work orders without a sales-order row, identifiers holding apostrophes and
// LIKE pattern characters, and the date check.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_list.h"
#include "archive/order_deletion.h"
#include "db/sqlite_database.h"
#include "platform/error.h"

namespace kestle::archive {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE Status (StatusId INTEGER PRIMARY KEY, Status TEXT);
CREATE TABLE [purchase orders] (PurchaseOrderID TEXT PRIMARY KEY COLLATE NOCASE, StatusId INTEGER);
CREATE TABLE [sales orders] (SalesOrderID TEXT PRIMARY KEY COLLATE NOCASE, StatusId INTEGER);
CREATE TABLE [inventory transactions] (TransactionID INTEGER PRIMARY KEY,
  TransactionDate DATETIME, PurchaseOrderID TEXT COLLATE NOCASE,
  SalesOrderID TEXT COLLATE NOCASE, DateRequired DATETIME, ETA DATETIME);
CREATE TABLE Archiver_ListToDelete (OrderID TEXT, LastTransDate DATETIME);
INSERT INTO Status VALUES (1, 'Open'), (2, 'Closed'), (3, 'Archived'), (4, 'cLoSeD'),
  (5, 'Closed pending');
)sql";

// The end date of every case below.
constexpr const char* kEnd = "2025-06-30 00:00:00";
constexpr const char* kBefore = "2025-06-29 23:59:59";
constexpr const char* kAfter = "2025-06-30 00:00:01";

class ArchiveDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestle_archive_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/orders.db";
    ASSERT_EQ(sqlite3_open(path_.c_str(), &raw_), SQLITE_OK);
    Sql(kSchema);
  }
  void TearDown() override {
    database_.reset();
    sqlite3_close(raw_);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  void Sql(const std::string& sql) {
    char* msg = nullptr;
    ASSERT_EQ(sqlite3_exec(raw_, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << msg << sql;
  }
  static std::string Q(const std::string& s) {
    std::string r = "'";
    for (char c : s) r += (c == '\'') ? std::string("''") : std::string(1, c);
    return r + "'";
  }
  static std::string DateOrNull(const char* d) { return d ? Q(d) : "NULL"; }

  void Po(const std::string& id, int status) {
    Sql("INSERT INTO [purchase orders] VALUES (" + Q(id) + ", " + std::to_string(status) + ")");
  }
  void So(const std::string& id, int status) {
    Sql("INSERT INTO [sales orders] VALUES (" + Q(id) + ", " + std::to_string(status) + ")");
  }
  void PoTx(const std::string& id, const char* date, const char* required = nullptr) {
    Sql("INSERT INTO [inventory transactions] (TransactionDate, PurchaseOrderID, DateRequired) "
        "VALUES (" +
        DateOrNull(date) + ", " + Q(id) + ", " + DateOrNull(required) + ")");
  }
  void SoTx(const std::string& id, const char* date, const char* eta = nullptr) {
    Sql("INSERT INTO [inventory transactions] (TransactionDate, SalesOrderID, ETA) VALUES (" +
        DateOrNull(date) + ", " + Q(id) + ", " + DateOrNull(eta) + ")");
  }

  std::vector<std::string> Column(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(raw_, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    std::vector<std::string> out;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(st, 0);
      out.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    sqlite3_finalize(st);
    return out;
  }
  std::set<std::string> Listed() {
    auto v = Column("SELECT OrderID FROM Archiver_ListToDelete");
    return {v.begin(), v.end()};
  }
  db::Database& Db() {
    if (!database_) database_ = db::OpenSqliteDatabase(path_);
    return *database_;
  }
  void Fill(bool closed_only) { fillArchiveList(Db(), *ParseIsoDateTime(kEnd), closed_only); }

  std::string dir_;
  std::string path_;
  sqlite3* raw_ = nullptr;
  std::shared_ptr<db::Database> database_;
};

using Set = std::set<std::string>;

TEST_F(ArchiveDbTest, EmptyTablesGiveAnEmptyListAndClearOldRows) {
  Sql("INSERT INTO Archiver_ListToDelete VALUES ('stale', NULL)");
  Po("P1", 2);  // no inventory transaction: never listed
  Fill(true);
  EXPECT_EQ(Listed(), Set{});
}

TEST_F(ArchiveDbTest, StatusDecidesOnlyInTheClosedOnlyVariant) {
  Po("P-open", 1), PoTx("P-open", "2025-01-01 00:00:00");
  Po("P-closed", 2), PoTx("P-closed", "2025-01-01 00:00:00");
  Po("P-archived", 3), PoTx("P-archived", "2025-01-01 00:00:00");
  Po("P-case", 4), PoTx("P-case", "2025-01-01 00:00:00");
  Po("P-other", 5), PoTx("P-other", "2025-01-01 00:00:00");
  So("S-open", 1), SoTx("S-open", "2025-01-01 00:00:00");
  So("S-closed", 2), SoTx("S-closed", "2025-01-01 00:00:00");
  So("S-case", 4), SoTx("S-case", "2025-01-01 00:00:00");
  So("WO-open", 1), SoTx("WO-open", "2025-01-01 00:00:00");
  So("WO-closed", 3), SoTx("WO-closed", "2025-01-01 00:00:00");
  SoTx("WO-orphan", "2025-01-01 00:00:00");  // no [sales orders] row
  SoTx("S-orphan", "2025-01-01 00:00:00");   // neither listed by step 3 nor by step 4

  Fill(true);
  EXPECT_EQ(Listed(), (Set{"P-closed", "P-archived", "P-case", "S-closed", "S-case", "WO-closed"}));
  // A closed work order is offered by the sales and the work-order fill.
  EXPECT_EQ(Column("SELECT count(*) FROM Archiver_ListToDelete WHERE OrderID = 'WO-closed'"),
            std::vector<std::string>{"2"});

  Fill(false);
  EXPECT_EQ(Listed(), (Set{"P-open", "P-closed", "P-archived", "P-case", "P-other", "S-open",
                           "S-closed", "S-case", "WO-open", "WO-closed", "WO-orphan"}));
}

TEST_F(ArchiveDbTest, LastActivityOnOrAfterTheEndDateKeepsTheOrder) {
  Po("P-before", 2), PoTx("P-before", "2024-01-01 00:00:00"), PoTx("P-before", kBefore);
  Po("P-equal", 2), PoTx("P-equal", "2024-01-01 00:00:00"), PoTx("P-equal", kEnd);
  Po("P-after", 2), PoTx("P-after", kAfter);
  Po("P-nodate", 2), PoTx("P-nodate", nullptr);  // null LastTransDate is not "on or after"
  So("S-equal", 2), SoTx("S-equal", kEnd);
  So("S-before", 2), SoTx("S-before", kBefore);
  Fill(true);
  EXPECT_EQ(Listed(), (Set{"P-before", "P-nodate", "S-before"}));
  EXPECT_EQ(Column("SELECT LastTransDate FROM Archiver_ListToDelete WHERE OrderID = 'P-before'"),
            std::vector<std::string>{kBefore});
}

TEST_F(ArchiveDbTest, RequiredAndEtaPrunesCompareStrictlyAndSkipNulls) {
  Po("P-req-after", 2), PoTx("P-req-after", "2025-01-01 00:00:00", "2025-01-02 00:00:00"),
      PoTx("P-req-after", "2025-01-03 00:00:00", kAfter);
  Po("P-req-equal", 2), PoTx("P-req-equal", "2025-01-01 00:00:00", kEnd);
  Po("P-req-null", 2), PoTx("P-req-null", "2025-01-01 00:00:00", nullptr);
  So("S-eta-after", 2), SoTx("S-eta-after", "2025-01-01 00:00:00", "2025-08-01 00:00:00");
  So("S-eta-equal", 2), SoTx("S-eta-equal", "2025-01-01 00:00:00", kEnd);
  So("S-eta-null", 2), SoTx("S-eta-null", "2025-01-01 00:00:00", nullptr);
  So("WO-eta-after", 2), SoTx("WO-eta-after", "2025-01-01 00:00:00", "2025-08-01 00:00:00");
  // Without a [sales orders] row the ETA prune cannot see the work order.
  SoTx("WO-orphan", "2025-01-01 00:00:00", "2025-08-01 00:00:00");
  Fill(false);
  EXPECT_EQ(Listed(), (Set{"P-req-equal", "P-req-null", "S-eta-equal", "S-eta-null", "WO-orphan"}));
}

TEST_F(ArchiveDbTest, PrunesRemoveExactlyTheIdentifierWithOddCharacters) {
  // Each pruned identifier would, written as a raw pattern, also match its
  // neighbour (or break the statement); the neighbours must stay listed.
  const std::pair<std::string, std::string> pruned_and_kept[] = {{"PO'Q", "PO'R"}, {"S*1", "SX1"},
                                                                 {"S?2", "SA2"},   {"S#3", "S53"},
                                                                 {"S[A]4", "SA4"}, {"[x", "ax"}};
  for (const auto& [pruned, kept] : pruned_and_kept) {
    if (pruned[0] == 'P') {
      Po(pruned, 2), PoTx(pruned, "2025-01-01 00:00:00", "2025-08-01 00:00:00");
      Po(kept, 2), PoTx(kept, "2025-01-01 00:00:00");
    } else {
      So(pruned, 2), SoTx(pruned, "2025-01-01 00:00:00", "2025-08-01 00:00:00");
      So(kept, 2), SoTx(kept, "2025-01-01 00:00:00");
    }
  }
  Fill(true);
  EXPECT_EQ(Listed(), (Set{"PO'R", "SX1", "SA2", "S53", "SA4", "ax"}));
}

TEST_F(ArchiveDbTest, DeletionPassRemovesListedOrdersOnBothSides) {
  Po("P1", 2), PoTx("P1", "2025-01-01 00:00:00"), PoTx("P1", "2025-01-02 00:00:00");
  Po("O'Neil*", 2), PoTx("O'Neil*", "2025-01-01 00:00:00");
  Po("O'NeilX", 2), PoTx("O'NeilX", "2025-01-01 00:00:00");  // not listed: open
  Sql("UPDATE [purchase orders] SET StatusId = 1 WHERE PurchaseOrderID = 'O''NeilX'");
  So("S1", 2), SoTx("S1", "2025-01-01 00:00:00");
  So("WO-1", 2), SoTx("WO-1", "2025-01-01 00:00:00");
  So("S-late", 2), SoTx("S-late", "2025-08-01 00:00:00");
  Fill(true);
  ASSERT_EQ(Listed(), (Set{"P1", "O'Neil*", "S1", "WO-1"}));

  std::vector<int64_t> progress;
  const int64_t rows = DeleteListedOrders(Db(), [&](int64_t n) { progress.push_back(n); });
  EXPECT_EQ(rows, 5);  // WO-1 is listed twice
  EXPECT_EQ(progress, (std::vector<int64_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Column("SELECT PurchaseOrderID FROM [purchase orders]"),
            std::vector<std::string>{"O'NeilX"});
  EXPECT_EQ(Column("SELECT SalesOrderID FROM [sales orders]"), std::vector<std::string>{"S-late"});
  EXPECT_EQ(Column("SELECT coalesce(PurchaseOrderID, SalesOrderID) FROM [inventory transactions]"
                   " ORDER BY 1"),
            (std::vector<std::string>{"O'NeilX", "S-late"}));
  // The work table keeps the list of what was deleted.
  EXPECT_EQ(Listed(), (Set{"P1", "O'Neil*", "S1", "WO-1"}));
}

TEST_F(ArchiveDbTest, MissingWorkTableFailsTheFirstStepAndChangesNothing) {
  Sql("DROP TABLE Archiver_ListToDelete");
  Po("P1", 2), PoTx("P1", "2025-01-01 00:00:00");
  EXPECT_THROW(Fill(true), RuntimeError);
  EXPECT_EQ(Column("SELECT count(*) FROM [inventory transactions]"), std::vector<std::string>{"1"});
}

}  // namespace
}  // namespace kestle::archive
