// What `kestle archive` tells its user around a run: the files it changes,
// the orders the work table names and how many orders a run removes. Reads
// only; the run itself is the Archiver's.
#ifndef KESTLE_CLI_ARCHIVE_REPORT_H_
#define KESTLE_CLI_ARCHIVE_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "db/database.h"

namespace kestle::cli {

// The files that hold the tables the deletion pass changes ([inventory
// transactions], [purchase orders], [sales orders]), each once: the back-end
// named by a linked table's "DATABASE=" (relative paths taken from the
// front-end's folder), or the front-end for a local table.
std::vector<std::string> FilesChangedByArchive(db::Database& database,
                                               const std::string& front_end);

// The orders that the work table's numbers name, as the deletion pass sees
// them: every listed number removes the purchase order and the sales order
// (work orders included) that carry it.
struct ListedOrders {
  int64_t numbers = 0;    // distinct numbers in the work table
  int64_t orders = 0;     // order rows those numbers name
  int64_t both = 0;       // numbers that name a purchase and a sales order
  int64_t list_rows = 0;  // rows of the work table (a number may be there twice)
};

// Counts the work table's numbers and the orders they name; with `print`,
// also prints one line a number: the number, its latest transaction and the
// order tables that hold it ("purchase AND sales order" flags a number found
// in both).
ListedOrders ReadListedOrders(db::Database& database, bool print);

// The rows of [purchase orders] and [sales orders] together.
int64_t CountOrderRows(db::Database& database);

}  // namespace kestle::cli

#endif  // KESTLE_CLI_ARCHIVE_REPORT_H_
