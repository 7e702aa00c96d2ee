// The Jet flow and test functions: Nz, IsNull, IsNumeric, IsDate, IsEmpty,
// Switch and Choose. IIf is SQLite's own iif, which evaluates only the branch
// it returns.
#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sqlite_errors.h"

namespace kestle::db::fn {

void Nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (!IsNull(argv[0])) {
    sqlite3_result_value(ctx, argv[0]);
  } else if (argc > 1) {
    sqlite3_result_value(ctx, argv[1]);
  } else {
    ResultText(ctx, "");
  }
}

void IsNullFn(sqlite3_context* ctx, int, sqlite3_value** argv) { ResultBool(ctx, IsNull(argv[0])); }

void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  std::string buffer;
  ResultBool(ctx, type == SQLITE_INTEGER || type == SQLITE_FLOAT ||
                      (type == SQLITE_TEXT && ParseNumberText(TextOf(argv[0], &buffer))));
}

void IsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string buffer;
  ResultBool(ctx, sqlite3_value_type(argv[0]) == SQLITE_TEXT &&
                      ParseValueDate(TextOf(argv[0], &buffer)).has_value());
}

// No value in a query is Empty: that is the state of a variable never set.
void IsEmpty(sqlite3_context* ctx, int, sqlite3_value**) { ResultBool(ctx, false); }

void Switch(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc % 2 != 0) return (void)Fail(ctx, kInvalidArgumentText);
  for (int k = 0; k < argc; k += 2) {
    bool holds = false;
    Got got = ReadTruth(ctx, argv[k], &holds);
    if (got == Got::kFailed) return;
    if (got == Got::kValue && holds) return sqlite3_result_value(ctx, argv[k + 1]);
  }
}

void Choose(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t index = 0;
  if (!RequireWhole(ctx, argv[0], &index)) return;
  if (index >= 1 && index < argc) sqlite3_result_value(ctx, argv[index]);
}

}  // namespace kestle::db::fn
