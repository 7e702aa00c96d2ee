// The sample split database: its layout as the engine sees it, the mix of
// orders, and that a seed always gives the same data.
#include "db/sqlite/sample_database.h"

#include <gtest/gtest.h>

#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::Scalar;
using testing::TempDir;

// Everything in the back-end's order tables, as one text.
std::string Content(SqliteDatabase& db) {
  std::string all;
  for (const char* sql :
       {"SELECT * FROM [purchase orders] ORDER BY 1", "SELECT * FROM [sales orders] ORDER BY 1",
        "SELECT * FROM [inventory transactions] ORDER BY 1"}) {
    for (const std::string& row : Rows(db, sql)) all += row + "\n";
  }
  return all;
}

TEST(SampleDatabaseTest, FrontEndLinksTheBackEndTablesAndHoldsTheWorkTables) {
  TempDir dir;
  SamplePaths paths = WriteSampleDatabase(dir.path(), 10);
  EXPECT_EQ(paths.front_end, dir.File("orders.db"));
  EXPECT_EQ(paths.back_end, dir.File("orders_be.db"));
  auto db = OpenSqliteDatabase(paths.front_end);
  std::vector<std::string> defs;
  for (const auto& def : db->TableDefs()) defs.push_back(def->Name() + "=" + def->Connect());
  std::string link = ";DATABASE=" + paths.back_end;
  EXPECT_EQ(defs, (std::vector<std::string>{"Archiver_ListToDelete=", "BackupManagerTable=",
                                            "inventory transactions=" + link,
                                            "purchase orders=" + link, "sales orders=" + link,
                                            "Status=" + link, "VersionControl=" + link}));
  EXPECT_EQ(
      Rows(*db, "SELECT StatusId & ':' & Status FROM Status"),
      (std::vector<std::string>{"1:Open", "2:Closed", "3:Archived", "4:On Hold", "5:Cancelled"}));
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM VersionControl"), "1");
}

TEST(SampleDatabaseTest, OrdersFollowTheIntendedMix) {
  TempDir dir;
  auto db = OpenSqliteDatabase(WriteSampleDatabase(dir.path(), 4000).front_end);
  int purchase = std::stoi(Scalar(*db, "SELECT count(*) FROM [purchase orders]"));
  int sales =
      std::stoi(Scalar(*db, "SELECT count(*) FROM [sales orders] WHERE SalesOrderID LIKE 'SO*'"));
  int work =
      std::stoi(Scalar(*db, "SELECT count(*) FROM [sales orders] WHERE SalesOrderID LIKE 'WO*'"));
  EXPECT_NEAR(purchase, 1600, 150);
  EXPECT_NEAR(sales, 1800, 150);
  EXPECT_NEAR(work, 600, 100);
  double per_order =
      std::stod(Scalar(*db, "SELECT count(*) * 1.0 / 4000 FROM [inventory transactions]"));
  EXPECT_GT(per_order, 4.5);
  EXPECT_LT(per_order, 5.5);
  // Work orders known only from their transactions, and orders without any.
  EXPECT_NE(Scalar(*db,
                   "SELECT count(DISTINCT SalesOrderID) FROM [inventory transactions] WHERE "
                   "SalesOrderID NOT IN (SELECT SalesOrderID FROM [sales orders])"),
            "0");
  EXPECT_NE(Scalar(*db,
                   "SELECT count(*) FROM [purchase orders] WHERE PurchaseOrderID NOT IN "
                   "(SELECT PurchaseOrderID FROM [inventory transactions] WHERE NOT "
                   "IsNull(PurchaseOrderID))"),
            "0");
  // Old orders are mostly finished, recent ones mostly open.
  double old_finished = std::stod(
      Scalar(*db,
             "SELECT avg(IIf(StatusId IN (2, 3), 1.0, 0.0)) FROM [sales orders] WHERE OrderDate < "
             "#2025-06-01#"));
  double new_open = std::stod(
      Scalar(*db,
             "SELECT avg(IIf(StatusId = 1, 1.0, 0.0)) FROM [sales orders] WHERE OrderDate > "
             "#2025-11-01#"));
  EXPECT_GT(old_finished, 0.7);
  EXPECT_GT(new_open, 0.5);
  EXPECT_EQ(Scalar(*db,
                   "SELECT Min(OrderDate) >= '2024-01-01' AND Max(OrderDate) < '2026-01-01' "
                   "FROM [purchase orders]"),
            "-1");
}

TEST(SampleDatabaseTest, SameSeedSameDataAndFilesAreReplaced) {
  TempDir a, b;
  auto first = OpenSqliteDatabase(WriteSampleDatabase(a.path(), 200, {.seed = 5}).front_end);
  auto second = OpenSqliteDatabase(WriteSampleDatabase(b.path(), 200, {.seed = 5}).front_end);
  EXPECT_EQ(Content(*first), Content(*second));
  second.reset();
  auto other = OpenSqliteDatabase(WriteSampleDatabase(b.path(), 200, {.seed = 6}).front_end);
  EXPECT_NE(Content(*first), Content(*other));
  EXPECT_EQ(Scalar(*other, "SELECT count(*) FROM kestle_links"), "5");
}

TEST(SampleDatabaseTest, MissingFolderIsPathNotFound) {
  TempDir dir;
  try {
    WriteSampleDatabase(dir.File("absent"), 1);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kPathNotFound);
  }
}

}  // namespace
}  // namespace kestle::db
