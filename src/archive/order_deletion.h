// The archive run's date check and its deletion pass over the work table.
#ifndef KESTLE_ARCHIVE_ORDER_DELETION_H_
#define KESTLE_ARCHIVE_ORDER_DELETION_H_

#include <cstdint>
#include <functional>

#include "db/database.h"
#include "platform/date.h"

namespace kestle::archive {

// True when the calendar date of `aLPCDate` lies at least one day after that
// of `aEndDate`; the times of day play no part.
bool DateRangeAccepted(const Date& aLPCDate, const Date& aEndDate);

// Walks the work table Archiver_ListToDelete in the order the database
// delivers it and deletes, for each listed identifier, its inventory
// transactions and its order row, first as a purchase order, then as a sales
// order; the identifier goes between the apostrophes with its own
// apostrophes doubled. Returns the number of list rows handled. `progress`,
// when set, is called with 0 once the work table is open and then after each
// row. Catches nothing: a database error, or a null identifier (error 94),
// stops the pass with the rows before it deleted.
int64_t DeleteListedOrders(db::Database& aDB, const std::function<void(int64_t)>& progress = {});

}  // namespace kestle::archive

#endif  // KESTLE_ARCHIVE_ORDER_DELETION_H_
