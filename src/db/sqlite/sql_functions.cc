// The SQL functions behind Jet's LIKE and & (sql_functions.h).
#include "db/sqlite/sql_functions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "db/database.h"
#include "db/sqlite/connection.h"
#include "db/sqlite/jet_functions.h"
#include "db/sqlite/jet_sql.h"
#include "db/sqlite/sqlite_errors.h"

namespace kestle::db {

// The text of a value as Jet converts it: a real number by the host's rule
// (JetNumberText; SQLite would write "2.0" and "1.0e+20"), anything else as
// SQLite writes it. `buffer` holds the text when it is made here.
std::string_view JetText(sqlite3_value* value, std::string* buffer) {
  if (sqlite3_value_type(value) == SQLITE_FLOAT) {
    *buffer = JetNumberText(sqlite3_value_double(value));
    return *buffer;
  }
  const char* p = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return p == nullptr ? std::string_view() : std::string_view(p, sqlite3_value_bytes(value));
}

namespace {

// like(pattern, text): the LIKE operator with Jet's wildcards. The compiled
// pattern is kept with the statement while the pattern argument stays the same.
void JetLikeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return;  // Null
  }
  auto* pattern = static_cast<JetPattern*>(sqlite3_get_auxdata(ctx, 0));
  std::optional<JetPattern> compiled;
  std::string buffer;
  if (pattern == nullptr) {
    const std::string_view text = JetText(argv[0], &buffer);
    if (text.size() > JetPattern::kMaxPatternBytes) {
      sqlite3_result_error(ctx, kPatternTooLongText, -1);
      return;
    }
    compiled = JetPattern::Compile(text);
    if (!compiled) {
      sqlite3_result_error(ctx, kInvalidPatternText, -1);
      return;
    }
    pattern = &*compiled;
    sqlite3_set_auxdata(ctx, 0, new JetPattern(*compiled),
                        [](void* p) { delete static_cast<JetPattern*>(p); });
  }
  sqlite3_result_int(ctx, pattern->Matches(JetText(argv[1], &buffer)));
}

// jet_concat(a, b, ...): Jet's "&" chain. Each operand as text, Null as "";
// Null when every operand is Null.
void JetConcatFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string text, buffer;
  bool any = false;
  for (int k = 0; k < argc; ++k) {
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) continue;
    any = true;
    text += JetText(argv[k], &buffer);
  }
  if (any) sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

struct FunctionDef {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

// Registering like() with two arguments replaces the LIKE operator (the
// three-argument ESCAPE form stays SQLite's). PRAGMA case_sensitive_like would
// reinstate SQLite's own, so the engine never issues it.
constexpr FunctionDef kFunctions[] = {
    {"like", 2, JetLikeFunction},
    {kJetConcatFunction, -1, JetConcatFunction},
};

}  // namespace

void RegisterFunctions(sqlite3* db) {
  for (const FunctionDef& f : kFunctions) {
    if (sqlite3_create_function_v2(db, f.name, f.args,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   f.fn, nullptr, nullptr, nullptr) != SQLITE_OK) {
      ThrowSqlite(db, f.name);
    }
  }
  RegisterJetFunctions(db);
}

bool IsRegisteredFunction(const std::string& lower_name) {
  return std::any_of(std::begin(kFunctions), std::end(kFunctions),
                     [&](const FunctionDef& f) { return lower_name == f.name; });
}

}  // namespace kestle::db
