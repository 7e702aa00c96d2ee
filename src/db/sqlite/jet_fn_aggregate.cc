// The Jet aggregates beyond SQLite's Count, Sum, Avg, Min and Max: First and
// Last (the value of the group's first or last row, Null included) and
// StDev, StDevP, Var and VarP over the group's values other than Null.
#include <cmath>
#include <new>

#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sqlite_errors.h"

namespace kestle::db::fn {

namespace {

// The kept value of First and Last.
struct Kept {
  sqlite3_value* value;  // owned (sqlite3_value_dup); nullptr before the first row
  bool seen;
};

// The running mean and sum of squared deviations (Welford's method), which
// stays exact where summing squares would cancel.
struct Moments {
  int64_t count;
  double mean;
  double squares;
};

Kept* KeptOf(sqlite3_context* ctx, bool create) {
  return static_cast<Kept*>(sqlite3_aggregate_context(ctx, create ? sizeof(Kept) : 0));
}

// The variance of the group, `sample` for the n - 1 form; Null when too few.
void Variance(sqlite3_context* ctx, bool sample, bool root) {
  auto* m = static_cast<Moments*>(sqlite3_aggregate_context(ctx, 0));
  int64_t least = sample ? 2 : 1;
  if (m == nullptr || m->count < least) return;
  double v = m->squares / static_cast<double>(sample ? m->count - 1 : m->count);
  sqlite3_result_double(ctx, root ? std::sqrt(v) : v);
}

}  // namespace

void FirstStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Kept* k = KeptOf(ctx, true);
  if (k == nullptr) return sqlite3_result_error_nomem(ctx);
  if (k->seen) return;
  k->seen = true;
  k->value = sqlite3_value_dup(argv[0]);
}

void LastStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Kept* k = KeptOf(ctx, true);
  if (k == nullptr) return sqlite3_result_error_nomem(ctx);
  sqlite3_value_free(k->value);
  k->seen = true;
  k->value = sqlite3_value_dup(argv[0]);
}

void KeptFinal(sqlite3_context* ctx) {
  Kept* k = KeptOf(ctx, false);
  if (k == nullptr || k->value == nullptr) return;
  sqlite3_result_value(ctx, k->value);
  sqlite3_value_free(k->value);
}

void MomentStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double x = 0;
  Got got = ReadNumber(ctx, argv[0], &x);
  if (got != Got::kValue) return;
  auto* m = static_cast<Moments*>(sqlite3_aggregate_context(ctx, sizeof(Moments)));
  if (m == nullptr) return sqlite3_result_error_nomem(ctx);
  ++m->count;
  double delta = x - m->mean;
  m->mean += delta / static_cast<double>(m->count);
  m->squares += delta * (x - m->mean);
}

void StDevFinal(sqlite3_context* ctx) { Variance(ctx, true, true); }
void StDevPFinal(sqlite3_context* ctx) { Variance(ctx, false, true); }
void VarFinal(sqlite3_context* ctx) { Variance(ctx, true, false); }
void VarPFinal(sqlite3_context* ctx) { Variance(ctx, false, false); }

}  // namespace kestle::db::fn
