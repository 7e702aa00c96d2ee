// Sample host databases for trials, tests and benchmarks: a split database
// with the order tables the archive, backup and shipping jobs work on.
//
// The back-end DIR/orders_be.db holds [inventory transactions], [purchase
// orders], [sales orders], Status and VersionControl; the front-end
// DIR/orders.db links them and holds the local tables Archiver_ListToDelete and
// BackupManagerTable. Order and key columns are declared COLLATE NOCASE, which
// gives them Jet's comparison without regard to case and lets their indexes
// serve the archive run's lookups. Dates are ISO text "YYYY-MM-DD HH:MM:SS".
#ifndef KESTLE_DB_SQLITE_SAMPLE_DATABASE_H_
#define KESTLE_DB_SQLITE_SAMPLE_DATABASE_H_

#include <cstdint>
#include <functional>
#include <string>

namespace kestle::db {

inline constexpr const char* kSampleFrontEndName = "orders.db";
inline constexpr const char* kSampleBackEndName = "orders_be.db";

// The tables of the back-end, linked into the front-end under these names.
inline constexpr const char* kSampleLinkedTables[] = {"inventory transactions", "purchase orders",
                                                      "sales orders", "Status", "VersionControl"};

// Status names by StatusId (1 to 5).
inline constexpr const char* kSampleStatuses[] = {"Open", "Closed", "Archived", "On Hold",
                                                  "Cancelled"};

// The host's tables as a host database declares them: the sample data and
// the tests' own small host databases are built from these statements alone.
// Key and order-id columns are COLLATE NOCASE: Jet compares text without
// regard to case, and an index serves a comparison only in its own collation.
inline constexpr const char* kHostBackEndSchema[] = {
    "CREATE TABLE Status (StatusId INTEGER PRIMARY KEY, Status TEXT NOT NULL COLLATE NOCASE)",
    "CREATE TABLE [purchase orders] (PurchaseOrderID TEXT PRIMARY KEY COLLATE NOCASE, "
    "SupplierID INTEGER, OrderDate DATETIME, StatusId INTEGER, Notes TEXT)",
    "CREATE TABLE [sales orders] (SalesOrderID TEXT PRIMARY KEY COLLATE NOCASE, "
    "CustomerID INTEGER, OrderDate DATETIME, StatusId INTEGER, Notes TEXT)",
    "CREATE TABLE [inventory transactions] (TransactionID INTEGER PRIMARY KEY, "
    "TransactionDate DATETIME, PurchaseOrderID TEXT COLLATE NOCASE, "
    "SalesOrderID TEXT COLLATE NOCASE, DateRequired DATETIME, ETA DATETIME, ProductID INTEGER, "
    "Quantity INTEGER, Comments TEXT)",
    "CREATE TABLE VersionControl (VersionID INTEGER PRIMARY KEY, Version TEXT, "
    "UpdatedOn DATETIME)",
};

// The component's work tables, which a front-end holds as local tables: the
// archive run's list of orders to delete and the backup job's log. Each with
// the statements that make it (unused places nullptr).
struct WorkTable {
  const char* name;
  const char* create[2];
};
inline constexpr WorkTable kWorkTables[] = {
    // OrderID is not unique (an order may be offered twice) but indexed,
    // since the archive run looks up one order at a time.
    {"Archiver_ListToDelete",
     {"CREATE TABLE Archiver_ListToDelete (OrderID TEXT COLLATE NOCASE, LastTransDate DATETIME)",
      "CREATE INDEX Archiver_ListToDelete_OrderID ON Archiver_ListToDelete (OrderID)"}},
    {"BackupManagerTable",
     {"CREATE TABLE BackupManagerTable (BackupID INTEGER PRIMARY KEY, BackupName TEXT, "
      "BackupLocation TEXT, BackupDate DATETIME)",
      nullptr}},
};

struct SampleOptions {
  // The generator's seed: the same seed and order count give the same files.
  uint64_t seed = 1;
  // The orders are spread over the two years that end on this day (ISO date).
  std::string last_day = "2025-12-31";
  // Called now and then with the number of orders written so far.
  std::function<void(int64_t)> progress = nullptr;
};

struct SamplePaths {
  std::string front_end;
  std::string back_end;
};

// Creates (or replaces) DIR/orders_be.db and DIR/orders.db with `orders`
// orders: about 40% purchase orders (PO000001...), 45% sales orders
// (SO000001...) and 15% work orders (WO000001..., sales orders too), older
// ones mostly closed or archived and recent ones mostly open, with about five
// inventory transactions each. A few orders have no transactions and a few
// work orders have transactions but no order row. The front-end's connect
// strings hold the back-end's absolute path. Throws RuntimeError 76 when DIR
// is missing, 3044 when its path holds ";" (a connect text would end the path
// there), and the engine's errors otherwise.
SamplePaths WriteSampleDatabase(const std::string& dir, int64_t orders,
                                const SampleOptions& options = {});

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_SAMPLE_DATABASE_H_
