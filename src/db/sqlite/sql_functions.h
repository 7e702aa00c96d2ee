// The SQL functions behind Jet's operators (LIKE, &) and the registration of
// the Jet function library (jet_functions.h).
#ifndef KESTLE_DB_SQLITE_SQL_FUNCTIONS_H_
#define KESTLE_DB_SQLITE_SQL_FUNCTIONS_H_

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace kestle::db {

// Registers the operators' functions and the Jet function library on `db`;
// throws when SQLite refuses one.
void RegisterFunctions(sqlite3* db);

// The text of a value as Jet converts it: a whole real number reads as a
// whole number ("2", where SQLite writes "2.0"); everything else as SQLite
// writes it. `buffer` holds the text when it is made here.
std::string_view JetText(sqlite3_value* value, std::string* buffer);

// True when `lower_name` (ASCII lower case) names an operator's function that
// RegisterFunctions registers.
bool IsRegisteredFunction(const std::string& lower_name);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_SQL_FUNCTIONS_H_
