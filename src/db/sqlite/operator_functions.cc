// The SQL functions behind Jet's operators (operator_functions.h).
//
// Operands follow the expression service's rules: Null propagates except
// where the other operand decides a logical result alone (Null And False is
// False, Null Or True is True); the logical operators and "\" and Mod round
// their operands half to even to whole numbers first; text that reads as a
// number counts as that number, other text is a type mismatch.
#include "db/sqlite/operator_functions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "db/jet_errors.h"
#include "db/sqlite/connection.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/date.h"

namespace kestle::db {
namespace {

// A numeric operand: whole or real. `ok` is false for text that is no number.
struct Number {
  bool ok = true;
  bool whole = true;
  int64_t i = 0;
  double d = 0;
  double AsDouble() const { return whole ? static_cast<double>(i) : d; }
};

// The number `text` reads as, blanks around it allowed.
Number ParseNumber(std::string_view text) {
  std::string s(text);
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t");
  if (b == std::string::npos) return {false};
  s = s.substr(b, e - b + 1);
  char* end = nullptr;
  errno = 0;
  long long i = std::strtoll(s.c_str(), &end, 10);
  if (*end == '\0' && errno == 0) return {true, true, i, 0};
  double d = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !std::isfinite(d)) return {false};
  return {true, false, 0, d};
}

Number NumberOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return {true, true, sqlite3_value_int64(v), 0};
    case SQLITE_FLOAT:
      return {true, false, 0, sqlite3_value_double(v)};
    case SQLITE_TEXT:
      return ParseNumber(reinterpret_cast<const char*>(sqlite3_value_text(v)));
    default:
      return {false};
  }
}

bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

// The operand `v` (not Null) rounded half to even to a whole number, as the
// expression service converts to Long; false after reporting the failure.
bool WholeOperand(sqlite3_context* ctx, sqlite3_value* v, int64_t* out) {
  Number n = NumberOf(v);
  if (!n.ok) {
    sqlite3_result_error(ctx, kTypeMismatchText, -1);
    return false;
  }
  if (n.whole) {
    *out = n.i;
    return true;
  }
  double r = std::nearbyint(n.d);  // the default rounding mode: half to even
  if (!(std::fabs(r) < 9.2e18)) {
    sqlite3_result_error(ctx, kOverflowText, -1);
    return false;
  }
  *out = static_cast<int64_t>(r);
  return true;
}

// Not x: the bitwise complement; Null for Null.
void JetNot(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int64_t a;
  if (IsNull(argv[0]) || !WholeOperand(ctx, argv[0], &a)) return;
  sqlite3_result_int64(ctx, ~a);
}

// The bitwise operators of two operands and their Null rules: `absorbing`
// is the operand value that decides the result alone when the other is Null
// (And: 0, Or: -1); `kNone` when a Null always gives Null.
constexpr int64_t kNone = 1;  // marks an operator without such an operand

template <int64_t (*Op)(int64_t, int64_t), int64_t kLeftAbsorbing, int64_t kRightAbsorbing,
          int64_t kLeftResult, int64_t kRightResult>
void Bitwise(sqlite3_context* ctx, int, sqlite3_value** argv) {
  bool null_a = IsNull(argv[0]), null_b = IsNull(argv[1]);
  int64_t a = 0, b = 0;
  if (!null_a && !WholeOperand(ctx, argv[0], &a)) return;
  if (!null_b && !WholeOperand(ctx, argv[1], &b)) return;
  if (null_a && null_b) return;
  if (null_b) {
    if (kLeftAbsorbing != kNone && a == kLeftAbsorbing) sqlite3_result_int64(ctx, kLeftResult);
    return;
  }
  if (null_a) {
    if (kRightAbsorbing != kNone && b == kRightAbsorbing) sqlite3_result_int64(ctx, kRightResult);
    return;
  }
  sqlite3_result_int64(ctx, Op(a, b));
}

int64_t And(int64_t a, int64_t b) { return a & b; }
int64_t Or(int64_t a, int64_t b) { return a | b; }
int64_t Xor(int64_t a, int64_t b) { return a ^ b; }
int64_t Eqv(int64_t a, int64_t b) { return ~(a ^ b); }
int64_t Imp(int64_t a, int64_t b) { return ~a | b; }

// a \ b: integer division of the rounded operands, truncating.
void JetIntDiv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int64_t a, b;
  if (IsNull(argv[0]) || IsNull(argv[1])) return;
  if (!WholeOperand(ctx, argv[0], &a) || !WholeOperand(ctx, argv[1], &b)) return;
  if (b == 0) return sqlite3_result_error(ctx, kDivisionByZeroText, -1);
  sqlite3_result_int64(ctx, a / b);
}

// a Mod b: the remainder of the rounded operands, with the sign of a.
void JetMod(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int64_t a, b;
  if (IsNull(argv[0]) || IsNull(argv[1])) return;
  if (!WholeOperand(ctx, argv[0], &a) || !WholeOperand(ctx, argv[1], &b)) return;
  if (b == 0) return sqlite3_result_error(ctx, kDivisionByZeroText, -1);
  sqlite3_result_int64(ctx, a % b);
}

// a ^ b: a real power; a negative base takes only whole exponents.
void JetPow(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) return;
  Number a = NumberOf(argv[0]), b = NumberOf(argv[1]);
  if (!a.ok || !b.ok) return sqlite3_result_error(ctx, kTypeMismatchText, -1);
  double x = a.AsDouble(), y = b.AsDouble();
  if (x == 0 && y < 0) return sqlite3_result_error(ctx, kDivisionByZeroText, -1);
  if (x < 0 && std::trunc(y) != y) return sqlite3_result_error(ctx, kInvalidArgumentText, -1);
  double r = std::pow(x, y);
  if (!std::isfinite(r)) return sqlite3_result_error(ctx, kOverflowText, -1);
  sqlite3_result_double(ctx, r);
}

// The engine's date text `v` holds, as a Date; nothing for other values.
std::optional<Date> StoredDate(sqlite3_value* v) {
  if (sqlite3_value_type(v) != SQLITE_TEXT) return std::nullopt;
  return ParseIsoDateTime(reinterpret_cast<const char*>(sqlite3_value_text(v)));
}

// a + b: Null with any Null; two texts join; a date plus a number of days is
// a date; otherwise numbers (or text that reads as one) add.
void JetAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) return;
  if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
    std::string joined(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                       sqlite3_value_bytes(argv[0]));
    joined.append(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])),
                  sqlite3_value_bytes(argv[1]));
    sqlite3_result_text(ctx, joined.data(), static_cast<int>(joined.size()), SQLITE_TRANSIENT);
    return;
  }
  for (int k = 0; k < 2; ++k) {
    std::optional<Date> date = StoredDate(argv[k]);
    Number days = NumberOf(argv[1 - k]);
    if (date && days.ok && sqlite3_value_type(argv[1 - k]) != SQLITE_TEXT) {
      std::string text = IsoDateTimeText(*date + days.AsDouble());
      sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      return;
    }
  }
  Number a = NumberOf(argv[0]), b = NumberOf(argv[1]);
  if (!a.ok || !b.ok) return sqlite3_result_error(ctx, kTypeMismatchText, -1);
  int64_t sum;
  if (a.whole && b.whole && !__builtin_add_overflow(a.i, b.i, &sum)) {
    sqlite3_result_int64(ctx, sum);
  } else {
    sqlite3_result_double(ctx, a.AsDouble() + b.AsDouble());
  }
}

// The refusal of a value that a typed column cannot hold.
void TypeConversionFailure(sqlite3_context* ctx) {
  std::string text = jet::Text(jet::kTypeMismatch);
  sqlite3_result_error(ctx, text.c_str(), -1);
}

// jet_store_date(v): the engine's date text of what a Date/Time column is
// given: date text (US or ISO, with or without a time of day) or a number of
// days since 1899-12-30; Null stays Null.
void JetStoreDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
      return;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
      std::string text = IsoDateTimeText(sqlite3_value_double(argv[0]));
      sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      return;
    }
    case SQLITE_TEXT: {
      std::optional<Date> date =
          ParseDateText(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
      if (!date) return TypeConversionFailure(ctx);
      std::string iso = IsoDateTimeText(*date);
      sqlite3_result_text(ctx, iso.data(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
      return;
    }
    default:
      return TypeConversionFailure(ctx);
  }
}

// jet_store_number(v): v when a number column can hold it; text that column
// affinity left as text reads as no number.
void JetStoreNumber(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_TEXT || type == SQLITE_BLOB) return TypeConversionFailure(ctx);
  sqlite3_result_value(ctx, argv[0]);
}

struct OperatorDef {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

constexpr OperatorDef kOperators[] = {
    {kJetNotFunction, 1, JetNot},
    {kJetAndFunction, 2, Bitwise<And, 0, 0, 0, 0>},
    {kJetOrFunction, 2, Bitwise<Or, -1, -1, -1, -1>},
    {kJetXorFunction, 2, Bitwise<Xor, kNone, kNone, 0, 0>},
    {kJetEqvFunction, 2, Bitwise<Eqv, kNone, kNone, 0, 0>},
    // False Imp Null is True; Null Imp True is True.
    {kJetImpFunction, 2, Bitwise<Imp, 0, -1, -1, -1>},
    {kJetIntDivFunction, 2, JetIntDiv},
    {kJetModFunction, 2, JetMod},
    {kJetPowFunction, 2, JetPow},
    {kJetAddFunction, 2, JetAdd},
    {kJetStoreDateFunction, 1, JetStoreDate},
    {kJetStoreNumberFunction, 1, JetStoreNumber},
};

}  // namespace

void RegisterOperatorFunctions(sqlite3* db) {
  for (const OperatorDef& f : kOperators) {
    if (sqlite3_create_function_v2(db, f.name, f.args,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   f.fn, nullptr, nullptr, nullptr) != SQLITE_OK) {
      ThrowSqlite(db, f.name);
    }
  }
}

bool IsOperatorFunction(const std::string& lower_name) {
  return std::any_of(std::begin(kOperators), std::end(kOperators),
                     [&](const OperatorDef& f) { return lower_name == f.name; });
}

}  // namespace kestle::db
