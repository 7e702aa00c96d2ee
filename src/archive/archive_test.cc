// The archive candidate list and the deletion pass on a real SQLite database
// built by hand: every fill and prune rule, the date boundaries, null dates,
// work orders without a sales-order row, and identifiers holding apostrophes
// and LIKE pattern characters.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "archive/archive_list.h"
#include "archive/order_deletion.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sample_database.h"
#include "platform/error.h"
#include "platform/scratch_test_util.h"

namespace kestle::archive {
namespace {

constexpr const char* kStatuses = R"sql(
INSERT INTO Status VALUES (1, 'Open'), (2, 'Closed'), (3, 'Archived'), (4, 'cLoSeD'),
  (5, 'Closed pending');
)sql";

// The end date of every case below, and the instants either side of it.
constexpr const char* kEnd = "2025-06-30 00:00:00";
constexpr const char* kBefore = "2025-06-29 23:59:59";
constexpr const char* kAfter = "2025-06-30 00:00:01";
constexpr const char* kEarly = "2025-01-01 00:00:00";
constexpr const char* kLate = "2025-08-01 00:00:00";

using Set = std::set<std::string>;
using Strings = std::vector<std::string>;

class ArchiveDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Sql(db::testing::Script(db::kHostBackEndSchema) + db::testing::WorkTablesScript() +
        kStatuses);
  }

  void Sql(const std::string& sql) { db::testing::RunScript(path_, sql); }
  static std::string Q(const std::string& s) {
    std::string r = "'";
    for (char c : s) r += (c == '\'') ? std::string("''") : std::string(1, c);
    return r + "'";
  }
  static std::string DateOrNull(const char* d) { return d ? Q(d) : "NULL"; }

  // An order (a purchase order when `id` starts with 'P') with `status`
  // (0: no order row) and one inventory transaction on `date` whose
  // DateRequired (purchase) or ETA (sales) is `due`.
  void Order(const std::string& id, int status, const char* date, const char* due = nullptr) {
    const bool po = id[0] == 'P';
    if (status != 0) {
      Sql(std::string("INSERT INTO ") +
          (po ? "[purchase orders] (PurchaseOrderID" : "[sales orders] (SalesOrderID") +
          ", StatusId) VALUES (" + Q(id) + ", " + std::to_string(status) + ")");
    }
    Sql(std::string("INSERT INTO [inventory transactions] (TransactionDate, ") +
        (po ? "PurchaseOrderID, DateRequired" : "SalesOrderID, ETA") + ") VALUES (" +
        DateOrNull(date) + ", " + Q(id) + ", " + DateOrNull(due) + ")");
  }

  Strings Column(const std::string& sql) { return db::testing::Rows(Db(), sql); }
  Set Listed() {
    Strings v = Column("SELECT OrderID FROM Archiver_ListToDelete");
    return {v.begin(), v.end()};
  }
  db::SqliteDatabase& Db() {
    if (!database_) database_ = db::OpenSqliteDatabase(path_);
    return *database_;
  }
  void Fill(bool closed_only) { fillArchiveList(Db(), *ParseIsoDateTime(kEnd), closed_only); }

  testing::ScratchDir dir_;
  std::string path_ = dir_.File("orders.db");
  std::shared_ptr<db::SqliteDatabase> database_;
};

TEST_F(ArchiveDbTest, StatusDecidesOnlyInTheClosedOnlyVariant) {
  Sql("INSERT INTO Archiver_ListToDelete VALUES ('stale', NULL)");
  Sql("INSERT INTO [purchase orders] (PurchaseOrderID, StatusId) VALUES ('P-none', 2)");  // no
                                                                                          // transaction:
                                                                                          // never
                                                                                          // listed
  Order("P-open", 1, kEarly), Order("P-closed", 2, kEarly), Order("P-archived", 3, kEarly);
  Order("P-case", 4, kEarly), Order("P-other", 5, kEarly);
  Order("S-open", 1, kEarly), Order("S-closed", 2, kEarly), Order("S-case", 4, kEarly);
  Order("WO-open", 1, kEarly), Order("WO-closed", 3, kEarly);
  Order("WO-orphan", 0, kEarly);  // a work order without a [sales orders] row
  Order("S-orphan", 0, kEarly);   // neither a sales order nor a work order

  Fill(true);
  EXPECT_EQ(Listed(), (Set{"P-closed", "P-archived", "P-case", "S-closed", "S-case", "WO-closed"}));
  // A closed work order is offered by the sales and the work-order fill.
  EXPECT_EQ(Column("SELECT count(*) FROM Archiver_ListToDelete WHERE OrderID = 'WO-closed'"),
            Strings{"2"});

  Fill(false);
  EXPECT_EQ(Listed(), (Set{"P-open", "P-closed", "P-archived", "P-case", "P-other", "S-open",
                           "S-closed", "S-case", "WO-open", "WO-closed", "WO-orphan"}));
}

TEST_F(ArchiveDbTest, LastActivityOnOrAfterTheEndDateKeepsTheOrder) {
  Order("P-before", 2, "2024-01-01 00:00:00"), Order("P-before", 0, kBefore);
  Order("P-equal", 2, "2024-01-01 00:00:00"), Order("P-equal", 0, kEnd);
  Order("P-after", 2, kAfter);
  Order("P-nodate", 2, nullptr);  // a null LastTransDate is not "on or after"
  Order("S-equal", 2, kEnd), Order("S-before", 2, kBefore);
  Fill(true);
  EXPECT_EQ(Listed(), (Set{"P-before", "P-nodate", "S-before"}));
  EXPECT_EQ(Column("SELECT LastTransDate FROM Archiver_ListToDelete WHERE OrderID = 'P-before'"),
            Strings{kBefore});
}

TEST_F(ArchiveDbTest, RequiredAndEtaPrunesCompareStrictlyAndSkipNulls) {
  Order("P-req-after", 2, kEarly, "2025-01-02 00:00:00"), Order("P-req-after", 0, kEarly, kAfter);
  Order("P-req-equal", 2, kEarly, kEnd), Order("P-req-null", 2, kEarly);
  Order("S-eta-after", 2, kEarly, kLate), Order("S-eta-equal", 2, kEarly, kEnd);
  Order("S-eta-null", 2, kEarly), Order("WO-eta-after", 2, kEarly, kLate);
  // Without a [sales orders] row the ETA prune cannot see the work order.
  Order("WO-orphan", 0, kEarly, kLate);
  Fill(false);
  EXPECT_EQ(Listed(), (Set{"P-req-equal", "P-req-null", "S-eta-equal", "S-eta-null", "WO-orphan"}));
}

TEST_F(ArchiveDbTest, PrunesRemoveExactlyTheIdentifierWithOddCharacters) {
  // Each pruned identifier would, written as a raw pattern, also match its
  // neighbour (or break the statement); the neighbours must stay listed.
  const std::pair<std::string, std::string> pruned_and_kept[] = {{"PO'Q", "PO'R"}, {"S*1", "SX1"},
                                                                 {"S?2", "SA2"},   {"S#3", "S53"},
                                                                 {"S[A]4", "SA4"}, {"[x", "ax"}};
  for (const auto& [pruned, kept] : pruned_and_kept) {
    Order(pruned, 2, kEarly, kLate);
    Order(kept, 2, kEarly);
  }
  Fill(true);
  EXPECT_EQ(Listed(), (Set{"PO'R", "SX1", "SA2", "S53", "SA4", "ax"}));
}

TEST_F(ArchiveDbTest, DeletionPassRemovesListedOrdersOnBothSides) {
  Order("P1", 2, kEarly), Order("P1", 0, "2025-01-02 00:00:00");
  Order("PO'Neil*", 2, kEarly);
  Order("PO'NeilX", 1, kEarly);  // not listed: open
  Order("S1", 2, kEarly), Order("WO-1", 2, kEarly), Order("S-late", 2, kLate);
  Fill(true);
  ASSERT_EQ(Listed(), (Set{"P1", "PO'Neil*", "S1", "WO-1"}));

  std::vector<int64_t> progress;
  const int64_t rows = DeleteListedOrders(Db(), [&](int64_t n) { progress.push_back(n); });
  EXPECT_EQ(rows, 5);  // WO-1 is listed twice
  EXPECT_EQ(progress, (std::vector<int64_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Column("SELECT PurchaseOrderID FROM [purchase orders]"), Strings{"PO'NeilX"});
  EXPECT_EQ(Column("SELECT SalesOrderID FROM [sales orders]"), Strings{"S-late"});
  EXPECT_EQ(Column("SELECT PurchaseOrderID & SalesOrderID FROM [inventory transactions]"),
            (Strings{"PO'NeilX", "S-late"}));
  // The work table keeps the list of what was deleted.
  EXPECT_EQ(Listed(), (Set{"P1", "PO'Neil*", "S1", "WO-1"}));
}

}  // namespace
}  // namespace kestle::archive
