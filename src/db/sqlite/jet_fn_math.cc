// The Jet math functions: Abs, Int, Fix, Round, Sgn, Sqr, Exp, Log, Atn,
// Sin, Cos and Tan. Each gives Null for Null; a whole-number argument keeps
// its whole-number type where the result is whole.
#include <cmath>

#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sqlite_errors.h"

namespace kestle::db::fn {

namespace {

// Reads the number argument; false (result Null or error set) without one.
bool Number(sqlite3_context* ctx, sqlite3_value* v, double* out) {
  return ReadNumber(ctx, v, out) == Got::kValue;
}

// Applies `op` to a whole-number argument as a whole number, to any other as
// a real one.
template <typename Op>
void WholeOrReal(sqlite3_context* ctx, sqlite3_value* v, Op op) {
  if (sqlite3_value_type(v) == SQLITE_INTEGER) {
    int64_t n = sqlite3_value_int64(v);
    sqlite3_result_int64(ctx, static_cast<int64_t>(op(static_cast<double>(n))));
    return;
  }
  double d = 0;
  if (Number(ctx, v, &d)) sqlite3_result_double(ctx, op(d));
}

// A function of reals that fails with Invalid procedure call outside its
// domain and with Overflow where its result is not finite.
void Real(sqlite3_context* ctx, sqlite3_value* v, double (*op)(double), bool (*in_domain)(double)) {
  double d = 0;
  if (!Number(ctx, v, &d)) return;
  if (in_domain != nullptr && !in_domain(d)) return (void)Fail(ctx, kInvalidArgumentText);
  double r = op(d);
  if (!std::isfinite(r)) return (void)Fail(ctx, kOverflowText);
  sqlite3_result_double(ctx, r);
}

}  // namespace

void Abs(sqlite3_context* ctx, int, sqlite3_value** argv) {
  WholeOrReal(ctx, argv[0], [](double d) { return std::fabs(d); });
}

void Int(sqlite3_context* ctx, int, sqlite3_value** argv) {
  WholeOrReal(ctx, argv[0], [](double d) { return std::floor(d); });
}

void Fix(sqlite3_context* ctx, int, sqlite3_value** argv) {
  WholeOrReal(ctx, argv[0], [](double d) { return std::trunc(d); });
}

void Round(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  constexpr int64_t kMaxDigits = 22;
  int64_t digits = 0;
  if (argc > 1) {
    if (IsNull(argv[1])) return (void)Fail(ctx, kInvalidUseOfNullText);
    if (!RequireWhole(ctx, argv[1], &digits)) return;
    if (digits < 0 || digits > kMaxDigits) return (void)Fail(ctx, kInvalidArgumentText);
  }
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) return sqlite3_result_value(ctx, argv[0]);
  double d = 0;
  if (!Number(ctx, argv[0], &d)) return;
  // A half goes to the even neighbour (the default rounding mode).
  double scale = std::pow(10.0, static_cast<double>(digits));
  double scaled = d * scale;
  sqlite3_result_double(ctx, std::isfinite(scaled) ? std::nearbyint(scaled) / scale : d);
}

void Sgn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double d = 0;
  if (Number(ctx, argv[0], &d)) sqlite3_result_int(ctx, (d > 0) - (d < 0));
}

void Sqr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Real(
      ctx, argv[0], [](double d) { return std::sqrt(d); }, [](double d) { return d >= 0; });
}
void Exp(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Real(
      ctx, argv[0], [](double d) { return std::exp(d); }, nullptr);
}
void Log(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Real(
      ctx, argv[0], [](double d) { return std::log(d); }, [](double d) { return d > 0; });
}
void Atn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Real(
      ctx, argv[0], [](double d) { return std::atan(d); }, nullptr);
}
void Sin(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Real(
      ctx, argv[0], [](double d) { return std::sin(d); }, nullptr);
}
void Cos(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Real(
      ctx, argv[0], [](double d) { return std::cos(d); }, nullptr);
}
void Tan(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Real(
      ctx, argv[0], [](double d) { return std::tan(d); }, nullptr);
}

}  // namespace kestle::db::fn
