// Builds the archive candidate list in the work table Archiver_ListToDelete.
//
// The statements must reach the database exactly as written below
// (testdata/*.golden records them for both builds).
#include "archive/archive_list.h"

#include <memory>
#include <string>

#include "platform/ascii.h"

namespace kestle::archive {
namespace {

// Each statement reads as it is sent: one fragment a line, blanks included,
// the closed-only variant beside the all-orders one. A statement with the end
// date in it is the text before the date and the text after it.
// clang-format off

// Step 1: clear the work table.
constexpr const char* kClearList =
    "DELETE * FROM Archiver_ListToDelete;";

// Step 2: purchase orders.
constexpr const char* kPurchaseFillClosed =
    "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) "
    " SELECT [inventory transactions].PurchaseOrderID,MAX( [inventory transactions].TransactionDate) "
    " FROM [purchase orders] INNER JOIN [inventory transactions] ON [purchase orders].PurchaseOrderID = [inventory transactions].PurchaseOrderID "
    " WHERE (NOT IsNull( [inventory transactions].PurchaseOrderID))  "
    " and [purchase orders].StatusId in (Select StatusId from Status where Ucase(status)='CLOSED' or Ucase(status)='ARCHIVED' ) "
    " GROUP BY   [inventory transactions].PurchaseOrderID; ";
constexpr const char* kPurchaseFillAll =
    "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) "
    " SELECT [inventory transactions].PurchaseOrderID,MAX( [inventory transactions].TransactionDate) "
    " FROM [purchase orders] INNER JOIN [inventory transactions] ON [purchase orders].PurchaseOrderID = [inventory transactions].PurchaseOrderID "
    " WHERE (NOT IsNull( [inventory transactions].PurchaseOrderID))  "
    " GROUP BY   [inventory transactions].PurchaseOrderID; ";

// Step 3: sales orders, work orders included (the closed-only GROUP BY has
// two leading blanks, the other one).
constexpr const char* kSalesFillClosed =
    "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) "
    " SELECT  [inventory transactions].SalesOrderID,Max( [inventory transactions].TransactionDate) "
    " FROM [inventory transactions] INNER JOIN [sales orders] ON [inventory transactions].SalesOrderID = [sales orders].SalesOrderID "
    " WHERE (NOT IsNull( [inventory transactions].SalesOrderID))  "
    " and [sales orders].StatusId in (Select StatusId from Status where Ucase(status)='CLOSED' or Ucase(status)='ARCHIVED' ) "
    "  GROUP BY   [inventory transactions].SalesOrderID; ";
constexpr const char* kSalesFillAll =
    "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) "
    " SELECT  [inventory transactions].SalesOrderID,Max( [inventory transactions].TransactionDate) "
    " FROM [inventory transactions] INNER JOIN [sales orders] ON [inventory transactions].SalesOrderID = [sales orders].SalesOrderID "
    " WHERE (NOT IsNull( [inventory transactions].SalesOrderID))  "
    " GROUP BY   [inventory transactions].SalesOrderID; ";

// Step 4: work orders straight from the inventory transactions.
constexpr const char* kWorkFillClosed =
    "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) "
    " SELECT SalesOrderID, MAX(TransactionDate)"
    " From [Inventory Transactions]"
    " Where (Not IsNull(SalesOrderID))"
    " and SalesOrderID like 'WO*'"
    " and SalesOrderID in (Select [SalesOrderID] from [sales orders] inner join Status on [sales orders].StatusID = Status.StatusID where ucase(Status.Status) = 'CLOSED' or ucase(Status.Status) = 'ARCHIVED')"
    " GROUP BY SalesOrderID"
    " ORDER BY SalesOrderID;";
constexpr const char* kWorkFillAll =
    "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) "
    " SELECT SalesOrderID, MAX(TransactionDate)"
    " From [Inventory Transactions]"
    " Where (Not IsNull(SalesOrderID))"
    " and SalesOrderID like 'WO*'"
    " GROUP BY SalesOrderID"
    " ORDER BY SalesOrderID;";

// A statement with the end date in it: `before`, the date text, `after`.
struct DatedStatement {
  const char* before;
  const char* after;
};

// Step 5: purchase orders still required after the end date (the
// closed-only GROUP BY has one leading blank, the other two).
constexpr DatedStatement kRequiredPruneClosed = {
    "SELECT [inventory transactions].PurchaseOrderID,MAX( [inventory transactions].TransactionDate) as TransactionDate "
    " FROM [purchase orders] INNER JOIN [inventory transactions] ON [purchase orders].PurchaseOrderID = [inventory transactions].PurchaseOrderID "
    "  Where (Not IsNull([inventory transactions].PurchaseOrderID)) "
    " and [purchase orders].StatusId in (Select StatusId from Status where Ucase(status)='CLOSED' or Ucase(status)='ARCHIVED' ) "
    " GROUP BY   [inventory transactions].PurchaseOrderID,[inventory transactions].DateRequired "
    " Having Max([inventory transactions].DateRequired) > #",
    "# "};
constexpr DatedStatement kRequiredPruneAll = {
    "SELECT [inventory transactions].PurchaseOrderID,MAX( [inventory transactions].TransactionDate) as TransactionDate "
    " FROM [purchase orders] INNER JOIN [inventory transactions] ON [purchase orders].PurchaseOrderID = [inventory transactions].PurchaseOrderID "
    "  Where (Not IsNull([inventory transactions].PurchaseOrderID)) "
    "  GROUP BY   [inventory transactions].PurchaseOrderID,[inventory transactions].DateRequired "
    " Having Max([inventory transactions].DateRequired) > #",
    "# "};
constexpr const char* kRequiredPruneField = "PurchaseOrderID";

// Step 6: sales orders still expected after the end date.
constexpr DatedStatement kEtaPruneClosed = {
    " SELECT  [inventory transactions].SalesOrderID,Max( [inventory transactions].TransactionDate) "
    " FROM [inventory transactions] INNER JOIN [sales orders] ON [inventory transactions].SalesOrderID = [sales orders].SalesOrderID "
    " WHERE (NOT IsNull( [inventory transactions].SalesOrderID))  "
    " and [sales orders].StatusId in (Select StatusId from Status where Ucase(status)='CLOSED' or Ucase(status)='ARCHIVED' ) "
    "  GROUP BY   [inventory transactions].SalesOrderID "
    " Having Max([inventory transactions].ETA) > #",
    "# "};
constexpr DatedStatement kEtaPruneAll = {
    " SELECT  [inventory transactions].SalesOrderID,Max( [inventory transactions].TransactionDate) "
    " FROM [inventory transactions] INNER JOIN [sales orders] ON [inventory transactions].SalesOrderID = [sales orders].SalesOrderID "
    " WHERE (NOT IsNull( [inventory transactions].SalesOrderID))  "
    "  GROUP BY   [inventory transactions].SalesOrderID "
    " Having Max([inventory transactions].ETA) > #",
    "# "};
constexpr const char* kEtaPruneField = "SalesOrderID";

// Steps 5 and 6, for each identifier a prune query finds: the text before
// the identifier (as a LIKE pattern that matches only itself) and after it.
constexpr const char* kPruneDeleteBefore =
    "DELETE * FROM Archiver_ListToDelete "
    "WHERE OrderID like  '";
constexpr const char* kPruneDeleteAfter = "'";

// Step 7: orders active on or after the end date.
constexpr DatedStatement kActivityPrune = {
    "DELETE * FROM Archiver_ListToDelete "
    "WHERE LastTransDate >= #",
    "#;"};
// clang-format on

// The Jet LIKE pattern characters and how each is written to match itself.
struct PatternEscape {
  char c;
  const char* literal;
};
constexpr PatternEscape kPatternEscapes[] = {
    {'*', "[*]"}, {'?', "[?]"}, {'#', "[#]"}, {'[', "[[]"}, {'\'', "''"}};

// The text of `statement` with `date` in its place.
std::string WithDate(const DatedStatement& statement, const std::string& date) {
  return std::string(statement.before).append(date).append(statement.after);
}

// Opens `query`, and for each of its rows removes from the list every row of
// the identifier in `field`. The record set is dropped before returning.
void PruneByQuery(db::Database& aDB, const std::string& query, const char* field) {
  std::shared_ptr<db::Recordset> rs = aDB.OpenRecordset(query);
  std::string sql;
  while (!rs->Eof()) {
    const std::string id = rs->Field(field).ToText();
    sql.assign(kPruneDeleteBefore).append(LiteralLikePattern(id)).append(kPruneDeleteAfter);
    aDB.Execute(sql);
    rs->MoveNext();
  }
}

}  // namespace

std::string JetDateText(Date date) { return IsoDateTimeText(date); }

std::string QuotedText(std::string_view text) { return ascii::DoubledQuotes(text, '\''); }

std::string LiteralLikePattern(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    const char* literal = nullptr;
    for (const PatternEscape& e : kPatternEscapes) {
      if (e.c == c) literal = e.literal;
    }
    if (literal != nullptr) {
      s.append(literal);
    } else {
      s.push_back(c);
    }
  }
  return s;
}

void fillArchiveList(db::Database& aDB, const Date& aEndDate, bool closedOnly) {
  const std::string end_date = JetDateText(aEndDate);
  aDB.Execute(kClearList);
  aDB.Execute(closedOnly ? kPurchaseFillClosed : kPurchaseFillAll);
  aDB.Execute(closedOnly ? kSalesFillClosed : kSalesFillAll);
  aDB.Execute(closedOnly ? kWorkFillClosed : kWorkFillAll);
  PruneByQuery(aDB, WithDate(closedOnly ? kRequiredPruneClosed : kRequiredPruneAll, end_date),
               kRequiredPruneField);
  PruneByQuery(aDB, WithDate(closedOnly ? kEtaPruneClosed : kEtaPruneAll, end_date),
               kEtaPruneField);
  aDB.Execute(WithDate(kActivityPrune, end_date));
}

}  // namespace kestle::archive
