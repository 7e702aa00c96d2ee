// Costs of the SQLite engine at archive scale: generating a sample split
// database, walking a large table through a record set, one indexed
// wildcard-free LIKE delete per order, and translating statements.
//
// Usage: db_engine_bench [ORDERS] [DIR]  (default 200000 orders, a temporary
// folder). Prints one line per measurement.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "db/jet_sql.h"
#include "db/sample_database.h"
#include "db/sqlite_database.h"
#include "platform/error.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Report(const char* what, double seconds, long long items, const char* unit) {
  std::printf("%-44s %8.3f s  %12.0f %s/s\n", what, seconds, seconds > 0 ? items / seconds : 0.0,
              unit);
}

int Run(long long orders, const std::string& dir) {
  using namespace kestle::db;
  auto start = Clock::now();
  SamplePaths paths = WriteSampleDatabase(dir, orders);
  Report("sample database", Seconds(start), orders, "orders");

  auto db = OpenSqliteDatabase(paths.front_end);
  start = Clock::now();
  long long rows = 0;
  size_t bytes = 0;
  for (auto rs = db->OpenRecordset("inventory transactions"); !rs->Eof(); rs->MoveNext()) {
    Value id = rs->Field("PurchaseOrderID");
    if (id.is_text()) bytes += id.text().size();
    ++rows;
  }
  Report("table record set walk", Seconds(start), rows, "rows");

  // The work table filled with every sales order, then emptied one order at a
  // time as the archive run's prune does.
  db->Execute("DELETE * FROM Archiver_ListToDelete;");
  db->Execute(
      "INSERT INTO Archiver_ListToDelete (OrderID) SELECT SalesOrderID FROM "
      "[sales orders]");
  start = Clock::now();
  long long deletes = 0;
  for (auto rs = db->OpenRecordset("SELECT SalesOrderID FROM [sales orders]"); !rs->Eof();
       rs->MoveNext()) {
    db->Execute("DELETE * FROM Archiver_ListToDelete WHERE OrderID like  '" +
                rs->Field("SalesOrderID").ToText() + "'");
    ++deletes;
  }
  Report("wildcard-free LIKE deletes (autocommit)", Seconds(start), deletes, "statements");

  const std::string statement =
      " SELECT  [inventory transactions].SalesOrderID,Max( [inventory "
      "transactions].TransactionDate)  FROM [inventory transactions] INNER JOIN [sales orders] ON "
      "[inventory transactions].SalesOrderID = [sales orders].SalesOrderID  WHERE (NOT IsNull( "
      "[inventory transactions].SalesOrderID))    GROUP BY   "
      "[inventory transactions].SalesOrderID  Having Max([inventory transactions].ETA) > "
      "#6/30/2025# ";
  start = Clock::now();
  constexpr int kTranslations = 100000;
  for (int i = 0; i < kTranslations; ++i) bytes += TranslateJetSql(statement).size();
  Report("statement translation", Seconds(start), kTranslations, "statements");
  return bytes == 0;  // keeps the loops' results alive
}

}  // namespace

int main(int argc, char** argv) {
  long long orders = argc > 1 ? std::atoll(argv[1]) : 200000;
  std::string dir;
  bool temporary = argc <= 2;
  if (temporary) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestle-bench-XXXXXX").string();
    dir = mkdtemp(pattern.data());
  } else {
    dir = argv[2];
  }
  int rc = 1;
  try {
    rc = Run(orders, dir);
  } catch (const kestle::RuntimeError& e) {
    std::fprintf(stderr, "error %d: %s\n%s\n", e.number(), e.description().c_str(),
                 e.detail().c_str());
  }
  if (temporary) std::filesystem::remove_all(dir);
  return rc;
}
