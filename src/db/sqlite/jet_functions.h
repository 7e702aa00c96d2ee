// The Jet function library: the one table of the functions a Jet statement
// may call, by Jet's name, with the name the engine registers each under in
// SQLite, the numbers of arguments it takes and whether its result depends
// on its arguments alone.
//
// The statement check refuses a call of a name missing here (Jet's
// "Undefined function") or with a count of arguments outside the function's
// range; the translator renames each call to its internal name; the
// authorizer lets SQLite call the internal names and nothing else of SQLite's
// own beyond what the engine needs itself.
#ifndef KESTLE_DB_SQLITE_JET_FUNCTIONS_H_
#define KESTLE_DB_SQLITE_JET_FUNCTIONS_H_

#include <string>
#include <string_view>

// SQLite's handles, declared rather than included: the statement check reads
// the table without depending on SQLite's header.
struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

namespace kestle::db {

struct JetFunction {
  const char* name;      // Jet's name, as the reference spells it
  const char* internal;  // the name SQLite knows it by
  int min_args;
  int max_args;  // -1: any number from min_args on
  void (*scalar)(sqlite3_context*, int, sqlite3_value**);
  // An aggregate's step and final functions.
  void (*step)(sqlite3_context*, int, sqlite3_value**);
  void (*final)(sqlite3_context*);
  bool deterministic;  // false for the clock's functions
};

// The function that Jet calls `name` (any case), or nullptr.
const JetFunction* FindJetFunction(std::string_view name);

// True when `count` arguments are a valid call of `f`.
bool AcceptsArguments(const JetFunction& f, int count);

// True when `lower_name` (ASCII lower case) is a table function's internal name.
bool IsJetInternalName(const std::string& lower_name);

// Registers every function of the table that the engine implements on `db`;
// throws when SQLite refuses one.
void RegisterJetFunctions(sqlite3* db);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_JET_FUNCTIONS_H_
