// Builds the archive candidate list in the work table Archiver_ListToDelete.
//
// Each statement is the concatenation of fixed fragments, kept below in the
// order in which they are joined, blanks included. The texts must reach the
// database exactly so (testdata/*.golden records them for both builds).
#include "archive/archive_list.h"

#include <initializer_list>
#include <memory>

namespace kestle::archive {
namespace {

// Each fragment stays on one line so that it reads exactly as it is sent.
// clang-format off
// The condition that lets only closed and archived orders into the list,
// shared by the purchase and sales statements of the closed-only variant.
constexpr const char* kFinishedPurchaseStatusFilter = " and [purchase orders].StatusId in (Select StatusId from Status where Ucase(status)='CLOSED' or Ucase(status)='ARCHIVED' ) ";
constexpr const char* kFinishedSalesStatusFilter = " and [sales orders].StatusId in (Select StatusId from Status where Ucase(status)='CLOSED' or Ucase(status)='ARCHIVED' ) ";

// Step 1: clear the work table.
constexpr const char* kClearList = "DELETE * FROM Archiver_ListToDelete;";

// The head of the three fill statements.
constexpr const char* kInsertIntoList = "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) ";

// Step 2: purchase orders.
constexpr const char* kPurchaseFillSelect = " SELECT [inventory transactions].PurchaseOrderID,MAX( [inventory transactions].TransactionDate) ";
constexpr const char* kPurchaseFillFrom = " FROM [purchase orders] INNER JOIN [inventory transactions] ON [purchase orders].PurchaseOrderID = [inventory transactions].PurchaseOrderID ";
constexpr const char* kPurchaseFillWhere = " WHERE (NOT IsNull( [inventory transactions].PurchaseOrderID))  ";
constexpr const char* kPurchaseFillGroupBy = " GROUP BY   [inventory transactions].PurchaseOrderID; ";

// Step 3: sales orders (work orders included).
constexpr const char* kSalesFillSelect = " SELECT  [inventory transactions].SalesOrderID,Max( [inventory transactions].TransactionDate) ";
constexpr const char* kSalesFillFrom = " FROM [inventory transactions] INNER JOIN [sales orders] ON [inventory transactions].SalesOrderID = [sales orders].SalesOrderID ";
constexpr const char* kSalesFillWhere = " WHERE (NOT IsNull( [inventory transactions].SalesOrderID))  ";
// The closed-only variant ends with two leading blanks, the other with one.
constexpr const char* kSalesFillGroupByClosed = "  GROUP BY   [inventory transactions].SalesOrderID; ";
constexpr const char* kSalesFillGroupByAll = " GROUP BY   [inventory transactions].SalesOrderID; ";

// Step 4: work orders straight from the inventory transactions.
constexpr const char* kWorkFillSelect = " SELECT SalesOrderID, MAX(TransactionDate)";
constexpr const char* kWorkFillFrom = " From [Inventory Transactions]";
constexpr const char* kWorkFillWhere = " Where (Not IsNull(SalesOrderID))";
constexpr const char* kWorkFillPattern = " and SalesOrderID like 'WO*'";
constexpr const char* kWorkFillStatusFilter = " and SalesOrderID in (Select [SalesOrderID] from [sales orders] inner join Status on [sales orders].StatusID = Status.StatusID where ucase(Status.Status) = 'CLOSED' or ucase(Status.Status) = 'ARCHIVED')";
constexpr const char* kWorkFillGroupBy = " GROUP BY SalesOrderID";
constexpr const char* kWorkFillOrderBy = " ORDER BY SalesOrderID;";

// Step 5: purchase orders still required after the end date.
constexpr const char* kRequiredPruneSelect = "SELECT [inventory transactions].PurchaseOrderID,MAX( [inventory transactions].TransactionDate) as TransactionDate ";
constexpr const char* kRequiredPruneFrom = kPurchaseFillFrom;
constexpr const char* kRequiredPruneWhere = "  Where (Not IsNull([inventory transactions].PurchaseOrderID)) ";
// The closed-only variant has one leading blank, the other two.
constexpr const char* kRequiredPruneGroupByClosed = " GROUP BY   [inventory transactions].PurchaseOrderID,[inventory transactions].DateRequired ";
constexpr const char* kRequiredPruneGroupByAll = "  GROUP BY   [inventory transactions].PurchaseOrderID,[inventory transactions].DateRequired ";
constexpr const char* kRequiredPruneHaving = " Having Max([inventory transactions].DateRequired) > #";
constexpr const char* kRequiredPruneField = "PurchaseOrderID";

// Step 6: sales orders still expected after the end date.
constexpr const char* kEtaPruneSelect = kSalesFillSelect;
constexpr const char* kEtaPruneFrom = kSalesFillFrom;
constexpr const char* kEtaPruneWhere = kSalesFillWhere;
constexpr const char* kEtaPruneGroupBy = "  GROUP BY   [inventory transactions].SalesOrderID ";
constexpr const char* kEtaPruneHaving = " Having Max([inventory transactions].ETA) > #";
constexpr const char* kEtaPruneField = "SalesOrderID";

// The end of both prune queries, after the end date.
constexpr const char* kPruneDateClose = "# ";

// The statement that takes one identifier found by a prune out of the list.
constexpr const char* kPruneDeleteFrom = "DELETE * FROM Archiver_ListToDelete ";
constexpr const char* kPruneDeleteWhere = "WHERE OrderID like  '";
constexpr const char* kPruneDeleteClose = "'";

// Step 7: orders active on or after the end date.
constexpr const char* kActivityPruneFrom = "DELETE * FROM Archiver_ListToDelete ";
constexpr const char* kActivityPruneWhere = "WHERE LastTransDate >= #";
constexpr const char* kActivityPruneClose = "#;";
// clang-format on

// The Jet LIKE pattern characters and how each is written to match itself.
struct PatternEscape {
  char c;
  const char* literal;
};
constexpr PatternEscape kPatternEscapes[] = {
    {'*', "[*]"}, {'?', "[?]"}, {'#', "[#]"}, {'[', "[[]"}, {'\'', "''"}};

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts) s.append(p);
  return s;
}

// Opens `query`, and for each of its rows removes from the list every row of
// the identifier in `field`. The record set is dropped before returning.
void PruneByQuery(db::Database& aDB, const std::string& query, const char* field) {
  std::shared_ptr<db::Recordset> rs = aDB.OpenRecordset(query);
  while (!rs->Eof()) {
    std::string id = rs->Field(field).ToText();
    aDB.Execute(
        Join({kPruneDeleteFrom, kPruneDeleteWhere, LiteralLikePattern(id), kPruneDeleteClose}));
    rs->MoveNext();
  }
}

}  // namespace

std::string JetDateText(Date date) { return IsoDateTimeText(date); }

std::string QuotedText(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    s.push_back(c);
    if (c == '\'') s.push_back('\'');
  }
  return s;
}

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
  const std::string_view purchase_status = closedOnly ? kFinishedPurchaseStatusFilter : "";
  const std::string_view sales_status = closedOnly ? kFinishedSalesStatusFilter : "";

  aDB.Execute(kClearList);

  aDB.Execute(Join({kInsertIntoList, kPurchaseFillSelect, kPurchaseFillFrom, kPurchaseFillWhere,
                    purchase_status, kPurchaseFillGroupBy}));

  aDB.Execute(Join({kInsertIntoList, kSalesFillSelect, kSalesFillFrom, kSalesFillWhere,
                    sales_status, closedOnly ? kSalesFillGroupByClosed : kSalesFillGroupByAll}));

  aDB.Execute(
      Join({kInsertIntoList, kWorkFillSelect, kWorkFillFrom, kWorkFillWhere, kWorkFillPattern,
            closedOnly ? kWorkFillStatusFilter : "", kWorkFillGroupBy, kWorkFillOrderBy}));

  PruneByQuery(aDB,
               Join({kRequiredPruneSelect, kRequiredPruneFrom, kRequiredPruneWhere, purchase_status,
                     closedOnly ? kRequiredPruneGroupByClosed : kRequiredPruneGroupByAll,
                     kRequiredPruneHaving, end_date, kPruneDateClose}),
               kRequiredPruneField);

  PruneByQuery(aDB,
               Join({kEtaPruneSelect, kEtaPruneFrom, kEtaPruneWhere, sales_status, kEtaPruneGroupBy,
                     kEtaPruneHaving, end_date, kPruneDateClose}),
               kEtaPruneField);

  aDB.Execute(Join({kActivityPruneFrom, kActivityPruneWhere, end_date, kActivityPruneClose}));
}

}  // namespace kestle::archive
