// The statements the archive, backup and shipping jobs send (the archive's
// read from the golden files its job is checked against), run verbatim on the
// sample schema: a hand-made set of orders with every edge case of the archive
// list, and a generated sample checked against a list computed independently.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sample_database.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::RunScript;
using testing::Scalar;
using testing::TempDir;

// --- The statements, as the archive job sends them ---------------------------

// The scenario's end date and identifiers in the golden files, which the
// job's own tests compare its statements with byte for byte.
constexpr const char* kGoldenEnd = "2025-06-30 00:00:00";
constexpr const char* kGoldenDeletedId = "'PO-1'";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The statements of one archive variant read from its golden file, with
// "{id}" where a row's identifier goes.
struct ArchiveStatements {
  std::vector<std::string> fills;
  std::vector<std::pair<std::string, std::string>> prunes;  // query, its per-row delete
  std::string last_activity_prune;
  std::vector<std::string> deletions;  // per listed order
};

ArchiveStatements GoldenStatements(bool closed_only) {
  std::ifstream golden(std::string(KESTLE_SOURCE_DIR) + "/src/archive/testdata/" +
                       (closed_only ? "archive_now.golden" : "archive_now_all.golden"));
  ArchiveStatements s;
  bool deleting = false;
  for (std::string line; std::getline(golden, line);) {
    const bool open = line.starts_with("OPEN ");
    const std::string sql = line.substr(line.find(' ') + 1);
    if (sql == "Archiver_ListToDelete") {
      deleting = true;
    } else if (deleting) {
      if (sql.find(kGoldenDeletedId) != std::string::npos) {
        s.deletions.push_back(Replace(sql, kGoldenDeletedId, "'{id}'"));
      }
    } else if (open) {
      s.prunes.emplace_back(sql, "");
    } else if (sql.starts_with("DELETE * FROM Archiver_ListToDelete WHERE OrderID like")) {
      s.prunes.back().second = sql.substr(0, sql.find('\'')) + "'{id}'";
    } else if (sql.starts_with("DELETE * FROM Archiver_ListToDelete WHERE LastTransDate")) {
      s.last_activity_prune = sql;
    } else {
      s.fills.push_back(sql);
    }
  }
  EXPECT_EQ(s.fills.size(), 4u);
  EXPECT_EQ(s.prunes.size(), 2u);
  EXPECT_EQ(s.deletions.size(), 4u);
  return s;
}

// The list building as the archive job runs it, through the Database interface.
void FillArchiveList(Database& db, const std::string& end, bool closed_only) {
  const ArchiveStatements s = GoldenStatements(closed_only);
  for (const std::string& sql : s.fills) db.Execute(sql);
  const char* kPruneFields[] = {"PurchaseOrderID", "SalesOrderID"};
  for (size_t i = 0; i < s.prunes.size(); ++i) {
    auto rs = db.OpenRecordset(Replace(s.prunes[i].first, kGoldenEnd, end));
    while (!rs->Eof()) {
      db.Execute(Replace(s.prunes[i].second, "{id}", rs->Field(kPruneFields[i]).ToText()));
      rs->MoveNext();
    }
  }
  db.Execute(Replace(s.last_activity_prune, kGoldenEnd, end));
}

// The deletion pass as the archive job runs it.
void DeleteListedOrders(Database& db) {
  const ArchiveStatements s = GoldenStatements(true);
  auto rs = db.OpenRecordset("Archiver_ListToDelete");
  if (!rs->Eof()) rs->MoveFirst();
  while (!rs->Eof()) {
    for (const std::string& sql : s.deletions) {
      db.Execute(Replace(sql, "{id}", rs->Field("OrderID").ToText()));
    }
    rs->MoveNext();
  }
}

std::set<std::string> ListedOrders(SqliteDatabase& db) {
  std::vector<std::string> rows = Rows(db, "SELECT OrderID FROM Archiver_ListToDelete");
  return {rows.begin(), rows.end()};
}

// --- Hand-made orders ------------------------------------------------------------

// Transactions: (TransactionDate, PurchaseOrderID, SalesOrderID, DateRequired, ETA).
constexpr const char* kEdgeCaseOrders = R"sql(
INSERT INTO Status VALUES (6, 'cLoSeD');
INSERT INTO [purchase orders] (PurchaseOrderID, StatusId) VALUES
  ('P-old', 2), ('P-open', 1), ('P-new', 2), ('P-exact', 2), ('P-req', 3), ('P-reqeq', 2),
  ('P-none', 2), ('P-nulldate', 2);
INSERT INTO [sales orders] (SalesOrderID, StatusId) VALUES
  ('S-old', 3), ('S-eta', 2), ('S-case', 6), ('S-open', 1), ('WO-7', 2), ('wo-lc', 3),
  ('S-etanull', 2);
INSERT INTO [inventory transactions]
  (TransactionDate, PurchaseOrderID, SalesOrderID, DateRequired, ETA) VALUES
  ('2025-01-10 09:00:00', 'P-old', NULL, '2025-03-01 00:00:00', NULL),
  ('2025-02-10 09:00:00', 'P-old', NULL, '2025-03-01 00:00:00', NULL),
  ('2025-01-10 09:00:00', 'P-open', NULL, NULL, NULL),
  ('2025-07-10 09:00:00', 'P-new', NULL, NULL, NULL),
  ('2025-06-30 00:00:00', 'P-exact', NULL, NULL, NULL),
  ('2025-06-29 23:59:59', 'P-req', NULL, '2025-06-01 00:00:00', NULL),
  ('2025-03-01 10:00:00', 'P-req', NULL, '2025-07-15 00:00:00', NULL),
  ('2025-05-01 10:00:00', 'P-reqeq', NULL, '2025-06-30 00:00:00', NULL),
  (NULL, 'P-nulldate', NULL, NULL, NULL),
  ('2025-03-01 08:00:00', NULL, 'S-old', NULL, '2025-03-05 00:00:00'),
  ('2025-03-01 08:00:00', NULL, 'S-eta', NULL, '2025-08-01 00:00:00'),
  ('2025-03-01 08:00:00', NULL, 'S-case', NULL, NULL),
  ('2025-03-01 08:00:00', NULL, 'S-open', NULL, NULL),
  ('2025-03-02 08:00:00', NULL, 'WO-7', NULL, '2025-06-30 00:00:00'),
  ('2025-03-03 08:00:00', NULL, 'wo-lc', NULL, NULL),
  ('2025-03-04 08:00:00', NULL, 'WO-9', NULL, NULL),
  ('2025-03-04 08:00:00', NULL, 'S-etanull', NULL, NULL);
)sql";

class JetStatementsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    paths_ = WriteSampleDatabase(dir_.path(), 0);
    RunScript(paths_.back_end, kEdgeCaseOrders);
    db_ = OpenSqliteDatabase(paths_.front_end);
    db_->Execute("INSERT INTO Archiver_ListToDelete (OrderID) VALUES ('stale')");
  }

  TempDir dir_;
  SamplePaths paths_;
  std::shared_ptr<SqliteDatabase> db_;
};

TEST_F(JetStatementsTest, ClosedOnlyListKeepsFinishedOrdersWhoseActivityEndedBefore) {
  FillArchiveList(*db_, "6/30/2025", /*closed_only=*/true);
  EXPECT_EQ(ListedOrders(*db_), (std::set<std::string>{"P-old", "P-reqeq", "P-nulldate", "S-old",
                                                       "S-case", "S-etanull", "WO-7", "wo-lc"}));
  // Work orders come from the sales fill and again from the work-order fill.
  EXPECT_EQ(Scalar(*db_, "SELECT count(*) FROM Archiver_ListToDelete WHERE OrderID = 'WO-7'"), "2");
  EXPECT_EQ(Scalar(*db_,
                   "SELECT LastTransDate FROM Archiver_ListToDelete WHERE OrderID = "
                   "'P-old'"),
            "2025-02-10 09:00:00");
  EXPECT_EQ(Scalar(*db_,
                   "SELECT LastTransDate FROM Archiver_ListToDelete WHERE OrderID = "
                   "'P-nulldate'"),
            "Null");
}

TEST_F(JetStatementsTest, AllOrdersListIgnoresStatusAndAddsOrphanWorkOrders) {
  FillArchiveList(*db_, "6/30/2025", /*closed_only=*/false);
  EXPECT_EQ(ListedOrders(*db_),
            (std::set<std::string>{"P-old", "P-open", "P-reqeq", "P-nulldate", "S-old", "S-case",
                                   "S-open", "S-etanull", "WO-7", "wo-lc", "WO-9"}));
}

TEST_F(JetStatementsTest, EndDateWithTimeOfDayIsComparedToTheSecond) {
  // 6/29/2025 11:59:59 PM: P-req's last transaction is on the end, P-exact after it.
  FillArchiveList(*db_, "6/29/2025 11:59:59 PM", /*closed_only=*/true);
  std::set<std::string> listed = ListedOrders(*db_);
  EXPECT_EQ(listed.count("P-req"), 0u);
  EXPECT_EQ(listed.count("P-exact"), 0u);
  FillArchiveList(*db_, "7/1/2025 12:00:01 AM", /*closed_only=*/true);
  listed = ListedOrders(*db_);
  EXPECT_EQ(listed.count("P-exact"), 1u);
  EXPECT_EQ(listed.count("P-reqeq"), 1u);
  EXPECT_EQ(listed.count("WO-7"), 1u);
}

TEST_F(JetStatementsTest, DeletionPassRemovesListedOrdersAndTheirTransactionsOnly) {
  FillArchiveList(*db_, "6/30/2025", /*closed_only=*/true);
  DeleteListedOrders(*db_);
  EXPECT_EQ(Rows(*db_, "SELECT PurchaseOrderID FROM [purchase orders] ORDER BY 1"),
            (std::vector<std::string>{"P-exact", "P-new", "P-none", "P-open", "P-req"}));
  EXPECT_EQ(Rows(*db_, "SELECT SalesOrderID FROM [sales orders] ORDER BY 1"),
            (std::vector<std::string>{"S-eta", "S-open"}));
  EXPECT_EQ(
      Rows(*db_,
           "SELECT DISTINCT Nz(PurchaseOrderID, SalesOrderID) FROM "
           "[inventory transactions] ORDER BY 1"),
      (std::vector<std::string>{"P-exact", "P-new", "P-open", "P-req", "S-eta", "S-open", "WO-9"}));
  // The work table still holds the list of the run.
  EXPECT_EQ(ListedOrders(*db_).size(), 8u);
}

TEST_F(JetStatementsTest, BackupRecordAndVersionProbe) {
  const std::string kInsert =
      "INSERT INTO BackupManagerTable (BackupName, BackupLocation, BackupDate) VALUES ('";
  db_->Execute(kInsert +
               "nightly', '/data/Backup/260105-0703_orders_be.db', '1/5/2026 7:03:00 AM')");
  EXPECT_EQ(Rows(*db_, "SELECT BackupName, BackupLocation, BackupDate FROM BackupManagerTable"),
            std::vector<std::string>{
                "nightly|/data/Backup/260105-0703_orders_be.db|1/5/2026 7:03:00 AM"});
  // The record is built with the name's quotes as they stand: a stray quote
  // fails, and a name that closes the row and opens another would add a
  // forged one.
  for (const char* name : {"it's", "x', 'y', 'z'), ('a"}) {
    EXPECT_EQ(kestle::testing::ErrorNumberOf(
                  [&] { db_->Execute(kInsert + name + "', '/x', '1/5/2026')"); }),
              jet::kInsertSyntax)
        << name;
  }
  EXPECT_EQ(Scalar(*db_, "SELECT count(*) FROM BackupManagerTable"), "1");
  EXPECT_FALSE(db_->OpenRecordset("SELECT * FROM [VersionControl]")->Eof());
  db_->Execute("DROP TABLE Archiver_ListToDelete");
  try {
    FillArchiveList(*db_, "6/30/2025", true);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), jet::Text(jet::kTableNotFound, "Archiver_ListToDelete"));
  }
}

// --- A generated sample ------------------------------------------------------------

struct Transaction {
  std::string date, po, so, required, eta;
};

// The closed-only list computed from the raw rows, independently of SQL.
std::set<std::string> ExpectedClosedList(SqliteDatabase& db, const std::string& end_iso) {
  std::map<std::string, int> purchase_status, sales_status;
  for (const std::string& r : Rows(db, "SELECT PurchaseOrderID, StatusId FROM [purchase orders]"))
    purchase_status[r.substr(0, r.find('|'))] = std::stoi(r.substr(r.find('|') + 1));
  for (const std::string& r : Rows(db, "SELECT SalesOrderID, StatusId FROM [sales orders]"))
    sales_status[r.substr(0, r.find('|'))] = std::stoi(r.substr(r.find('|') + 1));
  auto finished = [](int status) { return status == 2 || status == 3; };
  struct Agg {
    std::string last, required, eta;
    bool purchase = false;
  };
  std::map<std::string, Agg> orders;
  for (const auto& row : db.Query("SELECT TransactionDate, PurchaseOrderID, SalesOrderID, "
                                  "DateRequired, ETA FROM [inventory transactions]")
                             .rows) {
    auto text = [](const Value& v) { return v.is_null() ? std::string() : v.ToText(); };
    bool purchase = !row[1].is_null();
    Agg& a = orders[text(purchase ? row[1] : row[2])];
    a.purchase = purchase;
    a.last = std::max(a.last, text(row[0]));
    a.required = std::max(a.required, text(row[3]));
    a.eta = std::max(a.eta, text(row[4]));
  }
  std::set<std::string> expected;
  for (const auto& [id, a] : orders) {
    auto& statuses = a.purchase ? purchase_status : sales_status;
    auto it = statuses.find(id);
    if (it == statuses.end() || !finished(it->second)) continue;
    if (a.last >= end_iso) continue;
    if (a.purchase ? a.required > end_iso : a.eta > end_iso) continue;
    expected.insert(id);
  }
  return expected;
}

TEST(JetStatementsSampleTest, ClosedOnlyRunOnAGeneratedSampleMatchesTheRules) {
  TempDir dir;
  SamplePaths paths = WriteSampleDatabase(dir.path(), 3000, {.seed = 7});
  auto db = OpenSqliteDatabase(paths.front_end);
  std::set<std::string> expected = ExpectedClosedList(*db, "2025-06-30 00:00:00");
  ASSERT_GT(expected.size(), 500u);
  FillArchiveList(*db, "6/30/2025", /*closed_only=*/true);
  EXPECT_EQ(ListedOrders(*db), expected);
  std::string before = Scalar(*db, "SELECT count(*) FROM [inventory transactions]");
  DeleteListedOrders(*db);
  for (const char* check :
       {"SELECT count(*) FROM [purchase orders] WHERE PurchaseOrderID IN "
        "(SELECT OrderID FROM Archiver_ListToDelete)",
        "SELECT count(*) FROM [sales orders] WHERE SalesOrderID IN "
        "(SELECT OrderID FROM Archiver_ListToDelete)",
        "SELECT count(*) FROM [inventory transactions] WHERE Nz(PurchaseOrderID, SalesOrderID) IN "
        "(SELECT OrderID FROM Archiver_ListToDelete)"}) {
    EXPECT_EQ(Scalar(*db, check), "0") << check;
  }
  EXPECT_LT(std::stoi(Scalar(*db, "SELECT count(*) FROM [inventory transactions]")),
            std::stoi(before));
}

}  // namespace
}  // namespace kestle::db
