// The reports of `kestle archive`: changed files, the listed orders and order
// counts, read through the Database interface in Jet SQL.
#include "cli/archive_report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/ascii.h"

namespace kestle::cli {
namespace {

// The tables whose rows the deletion pass removes.
constexpr const char* kChangedTables[] = {"inventory transactions", "purchase orders",
                                          "sales orders"};
constexpr const char* kDatabaseKey = "DATABASE=";

// Each listed number with its latest transaction and how many rows of each
// order table carry it (more than one when the number is listed twice).
constexpr const char* kListQuery =
    "SELECT L.OrderID, Max(L.LastTransDate) AS LastTransDate, "
    "Count(P.PurchaseOrderID) AS PurchaseRows, Count(S.SalesOrderID) AS SalesRows, "
    "Count(*) AS ListRows "
    "FROM (Archiver_ListToDelete AS L "
    "LEFT JOIN [purchase orders] AS P ON P.PurchaseOrderID = L.OrderID) "
    "LEFT JOIN [sales orders] AS S ON S.SalesOrderID = L.OrderID "
    "GROUP BY L.OrderID ORDER BY L.OrderID";
constexpr const char* kOrderCountQueries[] = {
    "SELECT Count(*) AS OrderRows FROM [purchase orders]",
    "SELECT Count(*) AS OrderRows FROM [sales orders]",
};

// The path after "DATABASE=" in a connect string, up to the next ";".
std::string DatabasePath(const std::string& connect) {
  const size_t at = ascii::Lower(connect).find(ascii::Lower(kDatabaseKey));
  if (at == std::string::npos) return "";
  const size_t from = at + std::char_traits<char>::length(kDatabaseKey);
  return connect.substr(from, connect.find(';', from) - from);
}

int64_t Whole(const db::Value& v) {
  return v.is_null() ? 0 : v.is_integer() ? v.integer() : std::stoll(v.ToText());
}

std::string ValueText(const db::Value& v) { return v.is_null() ? "" : v.ToText(); }

const char* OrderKind(bool purchase, bool sales) {
  if (purchase && sales) return "purchase AND sales order";
  if (purchase) return "purchase order";
  if (sales) return "sales order";
  return "no order row";
}

}  // namespace

std::vector<std::string> FilesChangedByArchive(db::Database& database,
                                               const std::string& front_end) {
  const std::filesystem::path folder = std::filesystem::path(front_end).parent_path();
  std::vector<std::string> files;
  for (const auto& def : database.TableDefs()) {
    const std::string name = ascii::Lower(def->Name());
    if (std::none_of(std::begin(kChangedTables), std::end(kChangedTables),
                     [&](const char* t) { return name == t; })) {
      continue;
    }
    const std::string connect = def->Connect();
    std::string file = front_end;
    if (!connect.empty()) {
      const std::filesystem::path backend = DatabasePath(connect);
      file = (backend.is_absolute() ? backend : folder / backend).lexically_normal().string();
    }
    if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
  }
  return files;
}

ListedOrders ReadListedOrders(db::Database& database, bool print) {
  ListedOrders listed;
  std::shared_ptr<db::Recordset> rs = database.OpenRecordset(kListQuery);
  for (; !rs->Eof(); rs->MoveNext()) {
    const bool purchase = Whole(rs->Field("PurchaseRows")) > 0;
    const bool sales = Whole(rs->Field("SalesRows")) > 0;
    ++listed.numbers;
    listed.orders += int64_t{purchase} + int64_t{sales};
    listed.both += purchase && sales;
    listed.list_rows += Whole(rs->Field("ListRows"));
    if (print) {
      std::printf("%s\t%s\t%s\n", ValueText(rs->Field("OrderID")).c_str(),
                  ValueText(rs->Field("LastTransDate")).c_str(), OrderKind(purchase, sales));
    }
  }
  return listed;
}

int64_t CountOrderRows(db::Database& database) {
  int64_t rows = 0;
  for (const char* query : kOrderCountQueries) {
    std::shared_ptr<db::Recordset> rs = database.OpenRecordset(query);
    if (!rs->Eof()) rows += Whole(rs->Field("OrderRows"));
  }
  return rows;
}

}  // namespace kestle::cli
