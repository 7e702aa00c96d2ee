// Typed columns: values stored into a Date/Time or number column convert on
// the way in, as Jet converts them. Date text (US general date text or ISO)
// and day numbers become the engine's date text "YYYY-MM-DD HH:MM:SS", so
// that stored dates compare and sort as dates; text that reads as no date,
// or text in a number column that reads as no number, fails the statement
// with Jet's type-conversion failure (3464).
//
// The conversion is a pair of TEMP triggers per table (after INSERT and after
// UPDATE of the typed columns): they live on the connection, never in the
// database file, and cover every way a row is written, INSERT ... SELECT
// included.
#ifndef KESTLE_DB_SQLITE_TYPED_COLUMNS_H_
#define KESTLE_DB_SQLITE_TYPED_COLUMNS_H_

#include <sqlite3.h>

namespace kestle::db {

// (Re)creates the conversion triggers of every table with typed columns in
// every schema attached to `db`. Runs internal statements: the caller keeps
// the authorizer out of the way. Throws when SQLite refuses one.
void InstallTypedColumnTriggers(sqlite3* db);

// Drops every conversion trigger on `db`; false when there was none. Like
// InstallTypedColumnTriggers, it runs internal statements.
bool RemoveTypedColumnTriggers(sqlite3* db);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_TYPED_COLUMNS_H_
