// Jet date literals: the inside of a "#...#" literal read as a date and time.
#ifndef KESTLE_DB_SQLITE_JET_DATE_H_
#define KESTLE_DB_SQLITE_JET_DATE_H_

#include <optional>
#include <string>
#include <string_view>

namespace kestle::db {

// Parses the inside of a "#...#" literal: "M/D/YYYY" (a two-digit year means
// 1930 to 2029) or "YYYY-MM-DD", either optionally followed by a time of day
// (ISO also with "T"), or a time of day alone (on 1899-12-30, as Jet reads it).
std::optional<std::string> ParseDateLiteral(std::string_view text);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_JET_DATE_H_
