// Typed columns' conversion triggers (typed_columns.h).
#include "db/sqlite/typed_columns.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "db/sqlite/connection.h"
#include "db/sqlite/operator_functions.h"
#include "platform/ascii.h"

namespace kestle::db {
namespace {

// The first word of a declared type that makes a column a Date/Time one.
constexpr std::array<std::string_view, 4> kDateTypes = {"DATETIME", "DATE", "TIME", "TIMESTAMP"};
// The first word of a declared type that makes a column a number one.
constexpr std::array<std::string_view, 24> kNumberTypes = {
    "INT",     "INTEGER",       "LONG",  "SHORT",  "SMALLINT", "BYTE",    "TINYINT", "BIGINT",
    "COUNTER", "AUTOINCREMENT", "REAL",  "SINGLE", "FLOAT",    "DOUBLE",  "NUMERIC", "NUMBER",
    "DECIMAL", "CURRENCY",      "MONEY", "BIT",    "YESNO",    "LOGICAL", "BOOLEAN", "FLOAT8"};

// The prefix of the triggers' names; the schema and table follow.
constexpr std::string_view kTriggerPrefix = "kestle_typed_";

enum class ColumnType { kOther, kDate, kNumber };

ColumnType TypeOf(const std::string& declared) {
  std::string word;
  for (char c : declared) {
    if (c == ' ' || c == '(') break;
    word.push_back(c);
  }
  word = ascii::Lower(word);
  auto in = [&](const auto& list) {
    for (std::string_view w : list) {
      if (ascii::EqualsNoCase(word, std::string(w))) return true;
    }
    return false;
  };
  if (in(kDateTypes)) return ColumnType::kDate;
  if (in(kNumberTypes)) return ColumnType::kNumber;
  return ColumnType::kOther;
}

std::string QuoteName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

// The rows of an internal query, each as its columns' texts.
std::vector<std::vector<std::string>> Rows(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) ThrowSqlite(db, sql);
  StatementPtr stmt(raw, &sqlite3_finalize);
  std::vector<std::vector<std::string>> rows;
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    auto& row = rows.emplace_back();
    for (int c = 0; c < sqlite3_column_count(raw); ++c) {
      const unsigned char* text = sqlite3_column_text(raw, c);
      row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
    }
  }
  if (rc != SQLITE_DONE) ThrowSqlite(db, sql);
  return rows;
}

// The triggers of one table; nothing when it has no typed column.
void InstallTable(sqlite3* db, const std::string& schema, const std::string& table) {
  std::string condition, assignments, columns;
  for (const auto& column :
       Rows(db, "PRAGMA " + QuoteName(schema) + ".table_info(" + QuoteName(table) + ")")) {
    ColumnType type = TypeOf(column[2]);
    if (type == ColumnType::kOther) continue;
    std::string name = QuoteName(column[1]);
    std::string value = "NEW." + name;
    const char* store = type == ColumnType::kDate ? kJetStoreDateFunction : kJetStoreNumberFunction;
    if (!condition.empty()) {
      condition += " OR ";
      assignments += ", ";
      columns += ", ";
    }
    // A stored value that the conversion would change; the conversion itself
    // fails for one it refuses.
    condition += value + " IS NOT " + store + "(" + value + ")";
    assignments += name + " = " + store + "(" + name + ")";
    columns += name;
  }
  std::string base = std::string(kTriggerPrefix) + schema + "_" + table;
  for (const char* event : {"insert", "update"}) {
    std::string name = QuoteName(base + "_" + event);
    RunInternal(db, "DROP TRIGGER IF EXISTS temp." + name);
    if (condition.empty()) continue;
    std::string on = std::string(event) == "insert" ? "INSERT" : "UPDATE OF " + columns;
    RunInternal(db, "CREATE TEMP TRIGGER " + name + " AFTER " + on + " ON " + QuoteName(schema) +
                        "." + QuoteName(table) + " WHEN " + condition + " BEGIN UPDATE " +
                        QuoteName(table) + " SET " + assignments + " WHERE rowid = NEW.rowid; END");
  }
}

}  // namespace

bool RemoveTypedColumnTriggers(sqlite3* db) {
  // (LIKE on the engine's connection is Jet's, so prefixes are compared.)
  auto triggers =
      Rows(db,
           "SELECT name FROM temp.sqlite_master WHERE type = 'trigger' AND "
           "substr(name, 1, " +
               std::to_string(kTriggerPrefix.size()) + ") = '" + std::string(kTriggerPrefix) + "'");
  for (const auto& trigger : triggers)
    RunInternal(db, "DROP TRIGGER temp." + QuoteName(trigger[0]));
  return !triggers.empty();
}

void InstallTypedColumnTriggers(sqlite3* db) {
  for (const auto& database : Rows(db, "PRAGMA database_list")) {
    const std::string& schema = database[1];
    if (schema == "temp") continue;
    for (const auto& table :
         Rows(db, "SELECT name, sql FROM " + QuoteName(schema) +
                      ".sqlite_master WHERE type = 'table' AND substr(name, 1, 7) <> 'sqlite_'")) {
      // A table without rowids has no row for the triggers to find again.
      if (ascii::Lower(table[1]).find("without rowid") != std::string::npos) continue;
      InstallTable(db, schema, table[0]);
    }
  }
}

}  // namespace kestle::db
