// The SQL functions that give SQLite Jet's LIKE, &, Nz, Len, Left, Right and
// Mid.
#ifndef KESTLE_DB_SQLITE_SQL_FUNCTIONS_H_
#define KESTLE_DB_SQLITE_SQL_FUNCTIONS_H_

#include <sqlite3.h>

#include <string>

namespace kestle::db {

// Registers the Jet functions on `db`; throws when SQLite refuses one.
void RegisterFunctions(sqlite3* db);

// True when `lower_name` (ASCII lower case) names a function RegisterFunctions
// registers.
bool IsRegisteredFunction(const std::string& lower_name);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_SQL_FUNCTIONS_H_
