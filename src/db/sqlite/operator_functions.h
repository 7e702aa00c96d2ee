// The SQL functions behind Jet's operators where SQLite's own differ: the
// logical operators that work bitwise on numbers, integer division, Mod, "^"
// and "+" (see jet_sql.h for where the translator calls them).
#ifndef KESTLE_DB_SQLITE_OPERATOR_FUNCTIONS_H_
#define KESTLE_DB_SQLITE_OPERATOR_FUNCTIONS_H_

#include <sqlite3.h>

#include <string>

namespace kestle::db {

// Names of the operator functions the translator emits.
inline constexpr const char* kJetNotFunction = "jet_not";
inline constexpr const char* kJetAndFunction = "jet_and";
inline constexpr const char* kJetOrFunction = "jet_or";
inline constexpr const char* kJetXorFunction = "jet_xor";
inline constexpr const char* kJetEqvFunction = "jet_eqv";
inline constexpr const char* kJetImpFunction = "jet_imp";
inline constexpr const char* kJetIntDivFunction = "jet_intdiv";
inline constexpr const char* kJetModFunction = "jet_mod";
inline constexpr const char* kJetPowFunction = "jet_pow";
inline constexpr const char* kJetAddFunction = "jet_add";
// The value a Date/Time or number column stores (typed_columns.h).
inline constexpr const char* kJetStoreDateFunction = "jet_store_date";
inline constexpr const char* kJetStoreNumberFunction = "jet_store_number";

// Registers the operator functions on `db`; throws when SQLite refuses one.
void RegisterOperatorFunctions(sqlite3* db);

// True when `lower_name` (ASCII lower case) names an operator function.
bool IsOperatorFunction(const std::string& lower_name);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_OPERATOR_FUNCTIONS_H_
