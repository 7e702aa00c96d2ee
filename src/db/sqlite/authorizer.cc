// The linked-table guard (authorizer.h).
#include "db/sqlite/authorizer.h"

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "db/jet_errors.h"
#include "db/sqlite/backends.h"
#include "db/sqlite/connection.h"
#include "db/sqlite/jet_functions.h"
#include "db/sqlite/operator_functions.h"
#include "db/sqlite/sql_functions.h"
#include "platform/ascii.h"

namespace kestle::db {

namespace {

// The back-end that an unqualified table name resolves to (temp, then main,
// then the back-ends in the order attached), or nullptr for a local table or
// none at all.
const BackendAccess* ResolveTable(const Connection& conn, const char* table) {
  if (HasTable(conn.db, "temp", table) || HasTable(conn.db, "main", table)) return nullptr;
  for (const BackendAccess& backend : conn.backends) {
    if (HasTable(conn.db, backend.schema.c_str(), table)) return &backend;
  }
  return nullptr;
}

// The authorizer that gives a front-end Jet's view of its back-ends: of an
// attached back-end only the linked tables can be read or changed. Every
// other access (local tables, temp, statements that touch no table) passes,
// and so does whatever a back-end's trigger or view does once the statement
// could reach the trigger's table or the view itself. The refused table's
// name is kept for Jet's "cannot find" message, and every table written is
// noted in prepared_writes for the table record sets.
int LinkedTablesOnly(void* arg, int action, const char* table, const char*, const char* schema,
                     const char* inner) {
  if (action != SQLITE_READ && action != SQLITE_INSERT && action != SQLITE_UPDATE &&
      action != SQLITE_DELETE) {
    return SQLITE_OK;
  }
  auto* conn = static_cast<Connection*>(arg);
  if (table != nullptr && action != SQLITE_READ) conn->prepared_writes.insert(ascii::Lower(table));
  if (table == nullptr || inner != nullptr || conn->backends.empty()) return SQLITE_OK;
  const BackendAccess* backend = nullptr;
  if (schema != nullptr) {
    for (const BackendAccess& b : conn->backends) {
      if (b.schema == schema) backend = &b;
    }
  } else {
    // A table read for no column (count(*)) comes without its schema.
    backend = ResolveTable(*conn, table);
  }
  if (backend == nullptr || backend->linked.count(ascii::Lower(table)) > 0) return SQLITE_OK;
  if (conn->denied_table.empty()) conn->denied_table = table;
  return SQLITE_DENY;
}

// The actions a Jet statement may take: reading and changing rows, and
// creating, altering and dropping tables and indexes (CREATE INDEX reports a
// REINDEX of the new index too).
constexpr int kJetActions[] = {
    SQLITE_SELECT,     SQLITE_READ,       SQLITE_INSERT,       SQLITE_UPDATE,
    SQLITE_DELETE,     SQLITE_FUNCTION,   SQLITE_CREATE_TABLE, SQLITE_CREATE_INDEX,
    SQLITE_DROP_TABLE, SQLITE_DROP_INDEX, SQLITE_ALTER_TABLE,  SQLITE_REINDEX,
};

// SQLite's built-in functions that SQLite's own schema changes call (ALTER
// TABLE rewrites the schema's text with them). Names that start with
// "sqlite_" are SQLite's internal ones, which the statement check keeps out
// of the statements themselves.
constexpr const char* kSchemaChangeFunctions[] = {"printf", "substr", "length"};
// The prefix of SQLite's internal function and table names.
constexpr std::string_view kInternalPrefix = "sqlite_";

// True for the functions a statement may reach: the Jet function library's
// (jet_functions.h), the operators' (sql_functions.h) and SQLite's internal
// ones; and, while an ALTER TABLE is being prepared, those it calls itself.
bool IsEngineFunction(const Connection& conn, const char* name) {
  std::string lower = ascii::Lower(name != nullptr ? name : "");
  auto is = [&](const char* n) { return lower == n; };
  return lower.starts_with(kInternalPrefix) || IsJetInternalName(lower) ||
         IsRegisteredFunction(lower) || IsOperatorFunction(lower) ||
         (conn.preparing_alter &&
          std::any_of(std::begin(kSchemaChangeFunctions), std::end(kSchemaChangeFunctions), is));
}

}  // namespace

// The engine's authorizer, armed once the front-end is open: the backstop of
// the statement check (jet_check.h). It refuses every action that a Jet
// statement cannot take (ATTACH, PRAGMA, views, triggers, virtual and
// temporary tables, transactions, recursive queries), calls of functions
// outside the engine's own, and table design in a back-end, whose tables the
// front-end only links; then LinkedTablesOnly decides on the tables. Jet's
// error for a refusal is kept for the statement's failure.
int JetStatementsOnly(void* arg, int action, const char* first, const char* second,
                      const char* schema, const char* inner) {
  auto* conn = static_cast<Connection*>(arg);
  auto refuse = [&](int number, const char* argument) {
    if (conn->denied_error == 0) {
      conn->denied_error = number;
      conn->denied_argument = argument != nullptr ? argument : "";
    }
    return SQLITE_DENY;
  };
  // The engine's own grouping of statements (commit_group.h).
  if (conn->group.internal && (action == SQLITE_TRANSACTION || action == SQLITE_SAVEPOINT)) {
    return SQLITE_OK;
  }
  if (std::none_of(std::begin(kJetActions), std::end(kJetActions),
                   [&](int a) { return a == action; })) {
    return refuse(jet::kInvalidStatement, nullptr);
  }
  if (action == SQLITE_ALTER_TABLE) conn->preparing_alter = true;
  if (action == SQLITE_FUNCTION && !IsEngineFunction(*conn, second)) {
    return refuse(jet::kUndefinedFunction, second);
  }
  // Writing a schema's own table is part of changing its design.
  bool writes_schema =
      (action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE) &&
      first != nullptr && ascii::Lower(first).starts_with(kInternalPrefix);
  bool design = writes_schema || action == SQLITE_CREATE_TABLE || action == SQLITE_CREATE_INDEX ||
                action == SQLITE_DROP_TABLE || action == SQLITE_DROP_INDEX ||
                action == SQLITE_ALTER_TABLE;
  // ALTER TABLE names its schema first.
  const char* design_schema = action == SQLITE_ALTER_TABLE ? first : schema;
  if (design && design_schema != nullptr &&
      std::any_of(conn->backends.begin(), conn->backends.end(),
                  [&](const BackendAccess& b) { return b.schema == design_schema; })) {
    return refuse(jet::kLinkedTableDdl, nullptr);
  }
  return LinkedTablesOnly(arg, action, first, second, schema, inner);
}

}  // namespace kestle::db
