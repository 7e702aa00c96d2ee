// The archive job's statements, read from the golden files its own tests
// compare it with, run verbatim through the engine on a generated sample
// and checked against a list computed independently of SQL. (The rules case
// by case: the archive list's own tests, on the same engine.)
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sample_database.h"
#include "db/sqlite/sqlite_database.h"

namespace kestle::db {
namespace {

using testing::Rows;
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
