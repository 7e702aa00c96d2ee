// Costs of the SQLite engine at archive scale: generating a sample split
// database, walking a large table through a record set, one indexed
// wildcard-free LIKE delete per order, translating statements, and where the
// time of the archive run's single-row deletions goes (translation, prepare,
// the engine's whole Execute, and SQLite alone with bound statements, per
// statement and inside one transaction).
//
// Usage: db_engine_bench [ORDERS] [DIR]  (default 200000 orders, a temporary
// folder). Prints one line per measurement.
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "db/sqlite/jet_sql.h"
#include "db/sqlite/sample_database.h"
#include "db/sqlite/sqlite_database.h"
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

// The archive run's four deletion statements for one order identifier.
constexpr const char* kDeletionStatements[][2] = {
    {"DELETE * FROM [Inventory Transactions] WHERE [Inventory Transactions].[PurchaseOrderID] = '",
     "';"},
    {"DELETE * FROM [Purchase Orders] WHERE [Purchase Orders].[PurchaseOrderID] = '", "';"},
    {"DELETE * FROM [Inventory Transactions] WHERE [Inventory Transactions].[SalesOrderID] = '",
     "';"},
    {"DELETE * FROM [Sales Orders] WHERE [Sales Orders].[SalesOrderID] = '", "';"},
};
// The same statements as SQLite runs them with the identifier bound.
constexpr const char* kBoundDeletions[] = {
    "DELETE FROM [Inventory Transactions] WHERE PurchaseOrderID = ?1",
    "DELETE FROM [Purchase Orders] WHERE PurchaseOrderID = ?1",
    "DELETE FROM [Inventory Transactions] WHERE SalesOrderID = ?1",
    "DELETE FROM [Sales Orders] WHERE SalesOrderID = ?1",
};

std::vector<std::string> DeletionTexts(const std::vector<std::string>& ids) {
  std::vector<std::string> texts;
  for (const std::string& id : ids) {
    for (const auto& s : kDeletionStatements) texts.push_back(s[0] + id + s[1]);
  }
  return texts;
}

// Runs the bound deletions for every identifier straight on the back-end
// file, in autocommit or inside one transaction; returns the seconds taken.
double RawDeletions(const std::string& back_end, const std::vector<std::string>& ids,
                    bool one_transaction) {
  sqlite3* db = nullptr;
  sqlite3_open(back_end.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  std::vector<sqlite3_stmt*> stmts;
  for (const char* sql : kBoundDeletions) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    stmts.push_back(s);
  }
  auto start = Clock::now();
  if (one_transaction) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (const std::string& id : ids) {
    for (sqlite3_stmt* s : stmts) {
      sqlite3_bind_text(s, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
      sqlite3_step(s);
      sqlite3_reset(s);
    }
  }
  if (one_transaction) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  double seconds = Seconds(start);
  for (sqlite3_stmt* s : stmts) sqlite3_finalize(s);
  sqlite3_close(db);
  return seconds;
}

// Where the time of the archive run's deletion statements goes, on copies of
// the sample so that each variant deletes the same rows.
void DeletionBreakdown(const kestle::db::SamplePaths& paths, const std::string& dir) {
  using namespace kestle::db;
  std::vector<std::string> ids;
  {
    auto db = OpenSqliteDatabase(paths.front_end);
    for (const char* q : {"SELECT PurchaseOrderID AS id FROM [purchase orders]",
                          "SELECT SalesOrderID AS id FROM [sales orders]"}) {
      for (auto rs = db->OpenRecordset(q); !rs->Eof(); rs->MoveNext()) {
        ids.push_back(rs->Field("id").ToText());
      }
    }
  }
  // Half the orders: enough statements, and rows still left in every table.
  ids.resize(ids.size() / 2);
  const std::vector<std::string> texts = DeletionTexts(ids);
  const long long n = static_cast<long long>(texts.size());

  auto start = Clock::now();
  size_t bytes = 0;
  for (const std::string& t : texts) bytes += TranslateJetSql(t).size();
  Report("deletions: translation only", Seconds(start), n, "statements");

  auto copy = [&](const std::string& name) {
    std::string to = dir + "/" + name;
    std::filesystem::copy_file(paths.back_end, to,
                               std::filesystem::copy_options::overwrite_existing);
    return to;
  };
  {
    auto db = OpenSqliteDatabase(paths.front_end);
    start = Clock::now();
    for (const std::string& t : texts) bytes += db->ReturnsRows(t);
    Report("deletions: translation and prepare", Seconds(start), n, "statements");
  }
  std::string raw_auto = copy("raw_autocommit.db"), raw_one = copy("raw_one.db");
  Report("deletions: SQLite alone, bound, autocommit", RawDeletions(raw_auto, ids, false), n,
         "statements");
  Report("deletions: SQLite alone, bound, one transaction", RawDeletions(raw_one, ids, true), n,
         "statements");
  {
    auto db = OpenSqliteDatabase(paths.front_end);
    start = Clock::now();
    for (const std::string& t : texts) db->Execute(t);
    Report("deletions: Execute (autocommit)", Seconds(start), n, "statements");
  }
  if (bytes == 0) std::printf("(no statements)\n");
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

  std::filesystem::create_directories(dir + "/breakdown");
  DeletionBreakdown(WriteSampleDatabase(dir + "/breakdown", orders), dir);
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
