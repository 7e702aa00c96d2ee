// Back-end links: attaching the files a front-end's links name, and the
// connect texts of those links.
#ifndef KESTLE_DB_SQLITE_BACKENDS_H_
#define KESTLE_DB_SQLITE_BACKENDS_H_

#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "db/sqlite/connection.h"

namespace kestle::db {

// Puts `schema` of `db` in WAL mode with synchronous=NORMAL; leaves a
// database that refuses the switch as it is.
void TuneWriter(sqlite3* db, const std::string& schema);

// The front-end's links as (name, connect) pairs; none without a links table.
std::vector<std::pair<std::string, std::string>> ReadLinks(sqlite3* db);

// Attaches each distinct back-end file named by the links (a relative path
// taken from the front-end's folder), in the order of the link names, and
// records which of its tables are linked. The links to a file that cannot be
// used are noted with its error instead.
void AttachBackends(Connection& conn, bool writer);

// True when `schema` (any schema when nullptr) holds a table, not a view,
// named `table`. (The call needs SQLite built with
// SQLITE_ENABLE_COLUMN_METADATA, as the common builds are.)
bool HasTable(sqlite3* db, const char* schema, const char* table);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_BACKENDS_H_
