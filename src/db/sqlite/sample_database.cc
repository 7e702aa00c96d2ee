// The sample split database: schema, deterministic order generator and the
// front-end's links.
#include "db/sqlite/sample_database.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "db/sqlite/sqlite_database.h"
#include "kestle_version.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

// --- Schema ------------------------------------------------------------------

// Built after the rows are in: one sort instead of a million index inserts.
constexpr const char* kBackEndIndexes[] = {
    "CREATE INDEX [inventory transactions_PurchaseOrderID] "
    "ON [inventory transactions] (PurchaseOrderID)",
    "CREATE INDEX [inventory transactions_SalesOrderID] ON [inventory transactions] (SalesOrderID)",
    "CREATE INDEX [purchase orders_StatusId] ON [purchase orders] (StatusId)",
    "CREATE INDEX [sales orders_StatusId] ON [sales orders] (StatusId)",
};
constexpr const char* kInsertStatus = "INSERT INTO Status (StatusId, Status) VALUES (?1, ?2)";
constexpr const char* kInsertVersion =
    "INSERT INTO VersionControl (Version, UpdatedOn) VALUES ('" KESTLE_VERSION_TEXT "', ?1)";
constexpr const char* kInsertPurchaseOrder =
    "INSERT INTO [purchase orders] (PurchaseOrderID, SupplierID, OrderDate, StatusId) "
    "VALUES (?1, ?2, ?3, ?4)";
constexpr const char* kInsertSalesOrder =
    "INSERT INTO [sales orders] (SalesOrderID, CustomerID, OrderDate, StatusId) "
    "VALUES (?1, ?2, ?3, ?4)";
constexpr const char* kInsertTransaction =
    "INSERT INTO [inventory transactions] (TransactionDate, PurchaseOrderID, SalesOrderID, "
    "DateRequired, ETA, ProductID, Quantity) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)";
constexpr const char* kInsertLink = "INSERT INTO kestle_links (name, connect) VALUES (?1, ?2)";

// Generation runs without a journal in one transaction: a failed run leaves a
// file to throw away, never one to trust. The finished files are put in WAL
// mode, as every file the tool creates is.
constexpr const char* kBulkLoadPragmas =
    "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536";
constexpr const char* kFinishPragmas = "PRAGMA journal_mode=WAL";

// Orders written between two progress reports.
constexpr int64_t kProgressEvery = 1000;

constexpr int kStatusOpen = 1, kStatusClosed = 2, kStatusArchived = 3, kStatusOnHold = 4,
              kStatusCancelled = 5;

// --- Helpers -----------------------------------------------------------------

// splitmix64: a small generator whose sequence is the same on every platform
// (the standard distributions are not).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A whole number from lo to hi, both included.
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % (hi - lo + 1)); }
  // True with the given chance in percent.
  bool Percent(int chance) { return Between(0, 99) < chance; }

 private:
  uint64_t state_;
};

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// "YYYY-MM-DD HH:MM:SS" of a day number and a second of that day.
std::string IsoText(int64_t days, int second_of_day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int y = static_cast<int>(yoe + era * 400 + (m <= 2));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, second_of_day / 3600,
                second_of_day / 60 % 60, second_of_day % 60);
  return buf;
}

using ConnectionPtr = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

[[noreturn]] void Throw(sqlite3* db, const std::string& detail) {
  RuntimeError e(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
  e.set_detail(detail);
  throw e;
}

// Creates `path` afresh (removing an old file and its WAL companions).
ConnectionPtr CreateFile(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::error_code ignored;
    std::filesystem::remove(path + suffix, ignored);
  }
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  ConnectionPtr db(raw, &sqlite3_close_v2);
  if (rc != SQLITE_OK) Throw(raw, path);
  sqlite3_extended_result_codes(raw, 1);
  return db;
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Throw(db, sql);
}

// A prepared insert that is bound, run and reset row by row.
class Insert {
 public:
  Insert(sqlite3* db, const char* sql) : db_(db), sql_(sql), stmt_(nullptr, &sqlite3_finalize) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) Throw(db, sql);
    stmt_.reset(raw);
  }
  Insert& Text(int i, const std::string& v) {
    sqlite3_bind_text(stmt_.get(), i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Insert& Int(int i, int64_t v) {
    sqlite3_bind_int64(stmt_.get(), i, v);
    return *this;
  }
  Insert& Null(int i) {
    sqlite3_bind_null(stmt_.get(), i);
    return *this;
  }
  void Run() {
    if (sqlite3_step(stmt_.get()) != SQLITE_DONE) Throw(db_, sql_);
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
  }

 private:
  sqlite3* db_;
  const char* sql_;
  StatementPtr stmt_;
};

// The status of an order placed `age` days before the last day: old orders are
// mostly finished, recent ones mostly open.
int PickStatus(Random& rnd, int age) {
  int r = rnd.Between(0, 99);
  if (age > 90) {
    return r < 55   ? kStatusClosed
           : r < 80 ? kStatusArchived
           : r < 92 ? kStatusOpen
           : r < 96 ? kStatusOnHold
                    : kStatusCancelled;
  }
  return r < 70 ? kStatusOpen : r < 88 ? kStatusClosed : r < 95 ? kStatusOnHold : kStatusArchived;
}

void WriteBackEnd(sqlite3* db, int64_t orders, const SampleOptions& options) {
  Exec(db, kBulkLoadPragmas);
  Exec(db, "BEGIN");
  for (const char* sql : kHostBackEndSchema) Exec(db, sql);

  Insert status(db, kInsertStatus);
  for (int i = 0; i < 5; ++i) status.Int(1, i + 1).Text(2, kSampleStatuses[i]).Run();

  int y = 0, m = 0, d = 0;
  if (std::sscanf(options.last_day.c_str(), "%d-%d-%d", &y, &m, &d) != 3) {
    throw RuntimeError(err::kInvalidProcedureCall).set_detail(options.last_day);
  }
  const int64_t last_day = DaysFromCivil(y, m, d);
  constexpr int kSpanDays = 730;
  Insert(db, kInsertVersion).Text(1, IsoText(last_day - kSpanDays, 9 * 3600)).Run();

  Insert purchase(db, kInsertPurchaseOrder);
  Insert sales(db, kInsertSalesOrder);
  Insert transaction(db, kInsertTransaction);
  Random rnd(options.seed);
  int64_t po = 0, so = 0, wo = 0;
  for (int64_t n = 0; n < orders; ++n) {
    if (options.progress && n % kProgressEvery == 0) options.progress(n);
    int age = rnd.Between(0, kSpanDays - 1);
    int64_t day = last_day - age;
    int kind = rnd.Between(0, 99);  // <40 purchase, <85 sales, else work order
    char id[24];
    if (kind < 40) {
      std::snprintf(id, sizeof id, "PO%06lld", static_cast<long long>(++po));
    } else if (kind < 85) {
      std::snprintf(id, sizeof id, "SO%06lld", static_cast<long long>(++so));
    } else {
      std::snprintf(id, sizeof id, "WO%06lld", static_cast<long long>(++wo));
    }
    std::string order_date = IsoText(day, rnd.Between(8 * 3600, 18 * 3600 - 1));
    int status_id = PickStatus(rnd, age);
    bool purchase_side = kind < 40;
    // A few work orders exist only in their inventory transactions.
    bool has_row = !(kind >= 85 && rnd.Percent(1));
    if (has_row) {
      Insert& order = purchase_side ? purchase : sales;
      order.Text(1, id).Int(2, rnd.Between(1, 400)).Text(3, order_date).Int(4, status_id).Run();
    }
    int count = rnd.Percent(2) ? 0 : rnd.Between(3, 7);
    for (int t = 0; t < count; ++t) {
      int64_t when = day + rnd.Between(0, 30);
      transaction.Text(1, IsoText(when, rnd.Between(7 * 3600, 19 * 3600 - 1)));
      if (purchase_side) {
        transaction.Text(2, id).Null(3).Null(5);
        if (rnd.Percent(5)) {
          transaction.Null(4);
        } else {
          transaction.Text(4, IsoText(day + rnd.Between(14, 60), 0));
        }
      } else {
        transaction.Null(2).Text(3, id).Null(4);
        if (rnd.Percent(5)) {
          transaction.Null(5);
        } else {
          transaction.Text(5, IsoText(day + rnd.Between(7, 45), 0));
        }
      }
      transaction.Int(6, rnd.Between(1, 500)).Int(7, rnd.Between(1, 120)).Run();
    }
  }
  if (options.progress) options.progress(orders);
  for (const char* sql : kBackEndIndexes) Exec(db, sql);
  Exec(db, "COMMIT");
  Exec(db, kFinishPragmas);
}

void WriteFrontEnd(sqlite3* db, const std::string& back_end) {
  Exec(db, "BEGIN");
  Exec(db, kCreateLinksTable);
  for (const WorkTable& table : kWorkTables) {
    for (const char* sql : table.create) {
      if (sql != nullptr) Exec(db, sql);
    }
  }
  Insert link(db, kInsertLink);
  const std::string connect = LinkConnect(back_end);
  for (const char* table : kSampleLinkedTables) {
    link.Text(1, table).Text(2, connect).Run();
  }
  Exec(db, "COMMIT");
  Exec(db, kFinishPragmas);
}

}  // namespace

SamplePaths WriteSampleDatabase(const std::string& dir, int64_t orders,
                                const SampleOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    throw RuntimeError(err::kPathNotFound).set_detail(dir);
  }
  std::filesystem::path folder = std::filesystem::absolute(dir, ec);
  if (ec) throw RuntimeError(err::kPathNotFound).set_detail(dir);
  SamplePaths paths{(folder / kSampleFrontEndName).lexically_normal().string(),
                    (folder / kSampleBackEndName).lexically_normal().string()};
  // Refused before any file is written.
  LinkConnect(paths.back_end);
  WriteBackEnd(CreateFile(paths.back_end).get(), orders, options);
  WriteFrontEnd(CreateFile(paths.front_end).get(), paths.back_end);
  return paths;
}

}  // namespace kestle::db
