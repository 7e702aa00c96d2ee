// The archive candidate list: the work table Archiver_ListToDelete filled with
// the finished orders whose activity lies before the end date.
//
// The list is built entirely by Jet SQL statements sent through db::Database;
// nothing is computed in memory apart from the walk over the two prune queries.
//
// Two choices shape the statements beyond their fixed fragments:
// - The end date goes between the '#' delimiters as "YYYY-MM-DD HH:MM:SS"
//   (JetDateText), not as the regional short date, so that the engine reads
//   back the same date and time whatever the user's settings.
// - Identifiers found by the prunes are written as LIKE patterns that match
//   only themselves (LiteralLikePattern), and those of the deletion pass with
//   their apostrophes doubled (QuotedText), so that an identifier holding an
//   apostrophe or a pattern character removes exactly its own rows.
#ifndef KESTLE_ARCHIVE_ARCHIVE_LIST_H_
#define KESTLE_ARCHIVE_ARCHIVE_LIST_H_

#include <string>
#include <string_view>

#include "db/database.h"
#include "platform/date.h"

namespace kestle::archive {

// The name of the host's work table that holds the run's list.
inline constexpr const char* kListTable = "Archiver_ListToDelete";

// Empties the work table, fills it with the purchase, sales and work orders
// that have inventory transactions (closed or archived ones only when
// `closedOnly`), then removes the orders still required or expected after
// `aEndDate` or active on or after it. Catches nothing: a database error ends
// the build at the failing step, and the steps already run stay in effect.
void fillArchiveList(db::Database& aDB, const Date& aEndDate, bool closedOnly);

// The text written between the '#' delimiters of a Jet date literal:
// "YYYY-MM-DD HH:MM:SS". Unlike the regional short date, the engine can never
// read it with day and month swapped.
std::string JetDateText(Date date);

// `text` made safe between apostrophes of a Jet string literal: every
// apostrophe doubled.
std::string QuotedText(std::string_view text);

// `text` as a Jet LIKE pattern that matches exactly `text`: the pattern
// characters * ? # [ are bracketed ([*], [?], [#], [[]) and apostrophes are
// doubled.
std::string LiteralLikePattern(std::string_view text);

}  // namespace kestle::archive

#endif  // KESTLE_ARCHIVE_ARCHIVE_LIST_H_
