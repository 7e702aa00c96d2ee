// The statement check: which text the engine accepts as Jet SQL.
//
// The engine runs only the statement forms that Jet has, each checked on its
// token stream before translation:
//
//   SELECT ...            subqueries, UNION, TOP, DISTINCT, DISTINCTROW, SELECT ... INTO
//   INSERT INTO t [(...)] VALUES (one row)  or  SELECT ...
//   UPDATE t ... SET ...  DELETE [*] FROM ...
//   CREATE TABLE, CREATE [UNIQUE] INDEX, ALTER TABLE t ADD|DROP|ALTER ..., DROP TABLE|INDEX
//
// and one statement at a time (a trailing ";" and comments aside). Everything
// else is refused with Jet's syntax error for the statement: another leading
// word (WITH, PRAGMA, ATTACH, VACUUM, REPLACE, BEGIN, ...), INSERT OR and
// UPDATE OR, several rows after VALUES, RETURNING, ON CONFLICT, a common
// table expression anywhere, CREATE VIEW, TRIGGER or VIRTUAL TABLE, a call of
// a function that Jet does not know (Jet's "Undefined function") or with a
// count of arguments the function does not take (jet_functions.h), and names
// of SQLite's own tables and table-valued functions (sqlite_..., pragma_...),
// which Jet cannot find. The engine's authorizer stands behind this check.
#ifndef KESTLE_DB_SQLITE_JET_CHECK_H_
#define KESTLE_DB_SQLITE_JET_CHECK_H_

#include <string_view>

namespace kestle::db {

// Throws Jet's RuntimeError (see jet_errors.h) unless `jet` is one statement
// of a form above. String literals may stand lifted as ?N parameters.
void CheckJetStatement(std::string_view jet);

// Throws Jet's "cannot find the input table" unless `name` (a record set's
// source naming a table) may name a table of the host database.
void CheckJetTableName(std::string_view name);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_JET_CHECK_H_
