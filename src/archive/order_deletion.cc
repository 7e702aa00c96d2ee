// The deletion pass of an archive run: four DELETE statements per listed order.
#include "archive/order_deletion.h"

#include <memory>
#include <string>

#include "archive/archive_list.h"

namespace kestle::archive {
namespace {

// The four statements run for each identifier, in this order: inventory
// transactions, then the order row, on the purchase side and then on the
// sales side. Each is the text below, the quoted identifier and
// kOrderDeletionClose.
// clang-format off
constexpr const char* kOrderDeletions[] = {
    "DELETE * "
    "FROM [Inventory Transactions] "
    "WHERE [Inventory Transactions].[PurchaseOrderID] = '",

    "DELETE * "
    "FROM [Purchase Orders] "
    "WHERE [Purchase Orders].[PurchaseOrderID] = '",

    "DELETE * "
    "FROM [Inventory Transactions] "
    "WHERE [Inventory Transactions].[SalesOrderID] = '",

    "DELETE * "
    "FROM [Sales Orders] "
    "WHERE [Sales Orders].[SalesOrderID] = '",
};
constexpr const char* kOrderDeletionClose = "';";
// clang-format on

constexpr const char* kOrderIdField = "OrderID";

}  // namespace

bool DateRangeAccepted(const Date& aLPCDate, const Date& aEndDate) {
  return DayNumber(aLPCDate) - DayNumber(aEndDate) >= 1;
}

int64_t DeleteListedOrders(db::Database& aDB, const std::function<void(int64_t)>& progress) {
  std::shared_ptr<db::Recordset> rs = aDB.OpenRecordset(kListTable);
  if (progress) progress(0);
  if (!rs->Eof()) rs->MoveFirst();
  int64_t done = 0;
  std::string sql;
  while (!rs->Eof()) {
    const std::string id = QuotedText(rs->Field(kOrderIdField).ToText());
    for (const char* deletion : kOrderDeletions) {
      sql.assign(deletion).append(id).append(kOrderDeletionClose);
      aDB.Execute(sql);
    }
    rs->MoveNext();
    ++done;
    if (progress) progress(done);
  }
  return done;
}

}  // namespace kestle::archive
