// The SQL functions that give SQLite Jet's LIKE, &, Nz, Len, Left, Right and
// Mid (sql_functions.h).
#include "db/sqlite/sql_functions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "db/database.h"
#include "db/sqlite/connection.h"
#include "db/sqlite/jet_sql.h"
#include "db/sqlite/sqlite_errors.h"

namespace kestle::db {

namespace {

// The text of a value as Jet converts it: a real number by the host's rule
// (JetNumberText; SQLite would write "2.0" and "1.0e+20"), anything else as
// SQLite writes it. `buffer` holds the text when it is made here.
std::string_view JetText(sqlite3_value* value, std::string* buffer) {
  if (sqlite3_value_type(value) == SQLITE_FLOAT) {
    *buffer = JetNumberText(sqlite3_value_double(value));
    return *buffer;
  }
  const char* p = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return std::string_view(p, sqlite3_value_bytes(value));
}

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

// Nz(value[, fallback]): the value, or for Null the fallback ("" without one).
void JetNzFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
    sqlite3_result_value(ctx, argv[0]);
  } else if (argc > 1) {
    sqlite3_result_value(ctx, argv[1]);
  } else {
    sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
  }
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

// The byte offset of character number `n` (from 0) in UTF-8 text, or its size.
size_t CharOffset(std::string_view text, int64_t n) {
  size_t i = 0;
  for (; i < text.size() && n > 0; --n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

int64_t CharCount(std::string_view text) {
  int64_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// Reads a count argument as Jet converts a value to a Long: text that reads
// as a number counts as that number, and a fraction rounds to the nearest
// whole number, a half to the even one (2.5 -> 2, 3.5 -> 4). False (with the
// error set) for Null, other text, or a number beyond a Long.
bool ReadCount(sqlite3_context* ctx, sqlite3_value* value, int64_t* count) {
  constexpr double kLongMin = -2147483648.0, kLongMax = 2147483647.0;
  double number = 0;
  switch (sqlite3_value_numeric_type(value)) {
    case SQLITE_NULL:
      sqlite3_result_error(ctx, kInvalidUseOfNullText, -1);
      return false;
    case SQLITE_INTEGER:
      number = static_cast<double>(sqlite3_value_int64(value));
      break;
    case SQLITE_FLOAT:
      // The default rounding mode rounds halves to even, as Jet does.
      number = std::nearbyint(sqlite3_value_double(value));
      break;
    default:
      sqlite3_result_error(ctx, kTypeMismatchText, -1);
      return false;
  }
  if (!(number >= kLongMin && number <= kLongMax)) {
    sqlite3_result_error(ctx, kOverflowText, -1);
    return false;
  }
  *count = static_cast<int64_t>(number);
  return true;
}

// Reads the text argument (as JetText, into `buffer` when made) and the count
// arguments of Left, Right and Mid; false (with the error set) when a count is
// not one (ReadCount) or out of range, or when the text is Null (then the
// result stays Null).
bool TextAndCounts(sqlite3_context* ctx, int argc, sqlite3_value** argv, int64_t min_first,
                   std::string* buffer, std::string_view* text, int64_t counts[2]) {
  for (int k = 1; k < argc; ++k) {
    if (!ReadCount(ctx, argv[k], &counts[k - 1])) return false;
    if (counts[k - 1] < (k == 1 ? min_first : 0)) {
      sqlite3_result_error(ctx, kInvalidArgumentText, -1);
      return false;
    }
  }
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return false;
  *text = JetText(argv[0], buffer);
  return true;
}

void ResultText(sqlite3_context* ctx, std::string_view text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Left(text, n): the first n characters.
void JetLeftFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string buffer;
  std::string_view text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 0, &buffer, &text, counts)) return;
  ResultText(ctx, text.substr(0, CharOffset(text, counts[0])));
}

// Right(text, n): the last n characters.
void JetRightFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string buffer;
  std::string_view text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 0, &buffer, &text, counts)) return;
  int64_t skip = std::max<int64_t>(0, CharCount(text) - counts[0]);
  ResultText(ctx, text.substr(CharOffset(text, skip)));
}

// Mid(text, start[, length]): the characters from position `start` (from 1).
void JetMidFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string buffer;
  std::string_view text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 1, &buffer, &text, counts)) return;
  std::string_view rest = text.substr(CharOffset(text, counts[0] - 1));
  ResultText(ctx, argc > 2 ? rest.substr(0, CharOffset(rest, counts[1])) : rest);
}

// Len(value): the number of characters of the value's text; Null for Null.
void JetLenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  std::string buffer;
  sqlite3_result_int64(ctx, CharCount(JetText(argv[0], &buffer)));
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
    {kJetNzFunction, 1, JetNzFunction},
    {kJetNzFunction, 2, JetNzFunction},
    {kJetLeftFunction, 2, JetLeftFunction},
    {kJetRightFunction, 2, JetRightFunction},
    {kJetMidFunction, 2, JetMidFunction},
    {kJetMidFunction, 3, JetMidFunction},
    {kJetConcatFunction, -1, JetConcatFunction},
    {kJetLenFunction, 1, JetLenFunction},
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
}

bool IsRegisteredFunction(const std::string& lower_name) {
  return std::any_of(std::begin(kFunctions), std::end(kFunctions),
                     [&](const FunctionDef& f) { return lower_name == f.name; });
}

}  // namespace kestle::db
