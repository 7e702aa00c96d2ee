// The Jet function library's table (jet_functions.h). The implementations
// live in jet_fn_*.cc by category.
#include "db/sqlite/jet_functions.h"

#include <sqlite3.h>

#include <algorithm>

#include "db/sqlite/connection.h"
#include "db/sqlite/jet_fn.h"
#include "db/sqlite/jet_lex.h"
#include "db/sqlite/sqlite_errors.h"

namespace kestle::db {

namespace {

using namespace fn;  // NOLINT: the table names every implementation

constexpr int kAny = -1;

// Builds a row for a scalar function the engine implements.
constexpr JetFunction Scalar(const char* name, const char* internal, int min_args, int max_args,
                             void (*f)(sqlite3_context*, int, sqlite3_value**),
                             bool deterministic = true) {
  return {name, internal, min_args, max_args, f, nullptr, nullptr, deterministic};
}
// Builds a row for an aggregate the engine implements.
constexpr JetFunction Aggregate(const char* name, const char* internal,
                                void (*step)(sqlite3_context*, int, sqlite3_value**),
                                void (*final)(sqlite3_context*)) {
  return {name, internal, 1, 1, nullptr, step, final, true};
}
// Builds a row for a function whose SQLite built-in behaves as Jet's.
constexpr JetFunction Builtin(const char* name, const char* internal, int args) {
  return {name, internal, args, args, nullptr, nullptr, nullptr, true};
}

constexpr JetFunction kJetFunctions[] = {
    // Conversion.
    Scalar("CBool", "jet_cbool", 1, 1, CBool),
    Scalar("CByte", "jet_cbyte", 1, 1, CByte),
    Scalar("CCur", "jet_ccur", 1, 1, CCur),
    Scalar("CDate", "jet_cdate", 1, 1, CDate),
    Scalar("CDbl", "jet_cdbl", 1, 1, CDbl),
    Scalar("CInt", "jet_cint", 1, 1, CInt),
    Scalar("CLng", "jet_clng", 1, 1, CLng),
    Scalar("CSng", "jet_csng", 1, 1, CSng),
    Scalar("CStr", "jet_cstr", 1, 1, CStr),
    Scalar("CVar", "jet_cvar", 1, 1, CVar),
    Scalar("Val", "jet_val", 1, 1, Val),
    Scalar("Str", "jet_str", 1, 1, Str),
    Scalar("Hex", "jet_hex", 1, 1, Hex),
    Scalar("Oct", "jet_oct", 1, 1, Oct),
    Scalar("Asc", "jet_asc", 1, 1, Asc),
    Scalar("AscW", "jet_ascw", 1, 1, AscW),
    Scalar("Chr", "jet_chr", 1, 1, Chr),
    Scalar("ChrW", "jet_chrw", 1, 1, ChrW),
    // Math.
    Scalar("Abs", "jet_abs", 1, 1, Abs),
    Scalar("Int", "jet_int", 1, 1, Int),
    Scalar("Fix", "jet_fix", 1, 1, Fix),
    Scalar("Round", "jet_round", 1, 2, Round),
    Scalar("Sgn", "jet_sgn", 1, 1, Sgn),
    Scalar("Sqr", "jet_sqr", 1, 1, Sqr),
    Scalar("Exp", "jet_exp", 1, 1, Exp),
    Scalar("Log", "jet_log", 1, 1, Log),
    Scalar("Atn", "jet_atn", 1, 1, Atn),
    Scalar("Sin", "jet_sin", 1, 1, Sin),
    Scalar("Cos", "jet_cos", 1, 1, Cos),
    Scalar("Tan", "jet_tan", 1, 1, Tan),
    // Text.
    Scalar("Len", "jet_len", 1, 1, Len),
    Scalar("Left", "jet_left", 2, 2, Left),
    Scalar("Right", "jet_right", 2, 2, Right),
    Scalar("Mid", "jet_mid", 2, 3, Mid),
    Scalar("InStr", "jet_instr", 2, 4, InStr),
    Scalar("InStrRev", "jet_instrrev", 2, 4, InStrRev),
    Scalar("LCase", "jet_lcase", 1, 1, LCase),
    Scalar("UCase", "jet_ucase", 1, 1, UCase),
    Scalar("LTrim", "jet_ltrim", 1, 1, LTrim),
    Scalar("RTrim", "jet_rtrim", 1, 1, RTrim),
    Scalar("Trim", "jet_trim", 1, 1, Trim),
    Scalar("Space", "jet_space", 1, 1, Space),
    Scalar("String", "jet_string", 2, 2, String),
    Scalar("StrReverse", "jet_strreverse", 1, 1, StrReverse),
    Scalar("Replace", "jet_replace", 3, 6, Replace),
    Scalar("StrComp", "jet_strcomp", 2, 3, StrComp),
    // Date and time.
    Scalar("Date", "jet_date", 0, 0, DateNow, false),
    Scalar("Now", "jet_now", 0, 0, Now, false),
    Scalar("Time", "jet_time", 0, 0, Time, false),
    Scalar("Year", "jet_year", 1, 1, Year),
    Scalar("Month", "jet_month", 1, 1, Month),
    Scalar("Day", "jet_day", 1, 1, Day),
    Scalar("Hour", "jet_hour", 1, 1, Hour),
    Scalar("Minute", "jet_minute", 1, 1, Minute),
    Scalar("Second", "jet_second", 1, 1, Second),
    Scalar("Weekday", "jet_weekday", 1, 2, Weekday),
    Scalar("WeekdayName", "jet_weekdayname", 1, 3, WeekdayName),
    Scalar("MonthName", "jet_monthname", 1, 2, MonthName),
    Scalar("DateSerial", "jet_dateserial", 3, 3, DateSerial),
    Scalar("TimeSerial", "jet_timeserial", 3, 3, TimeSerial),
    Scalar("DateValue", "jet_datevalue", 1, 1, DateValue),
    Scalar("TimeValue", "jet_timevalue", 1, 1, TimeValue),
    Scalar("DateAdd", "jet_dateadd", 3, 3, DateAdd),
    Scalar("DateDiff", "jet_datediff", 3, 5, DateDiff),
    Scalar("DatePart", "jet_datepart", 2, 4, DatePart),
    Scalar("Format", "jet_format", 1, 4, Format),
    // Flow and tests. IsNull calls are rewritten to IS NULL where they can be.
    Builtin("IIf", "iif", 3),
    Scalar("Switch", "jet_switch", 2, kAny, Switch),
    Scalar("Choose", "jet_choose", 2, kAny, Choose),
    Scalar("Nz", "jet_nz", 1, 2, Nz),
    Scalar("IsNull", "jet_isnull", 1, 1, IsNullFn),
    Scalar("IsNumeric", "jet_isnumeric", 1, 1, IsNumeric),
    Scalar("IsDate", "jet_isdate", 1, 1, IsDate),
    Scalar("IsEmpty", "jet_isempty", 1, 1, IsEmpty),
    // Aggregates.
    Builtin("Count", "count", 1),
    Builtin("Sum", "sum", 1),
    Builtin("Avg", "avg", 1),
    Builtin("Min", "min", 1),
    Builtin("Max", "max", 1),
    Aggregate("First", "jet_first", FirstStep, KeptFinal),
    Aggregate("Last", "jet_last", LastStep, KeptFinal),
    Aggregate("StDev", "jet_stdev", MomentStep, StDevFinal),
    Aggregate("StDevP", "jet_stdevp", MomentStep, StDevPFinal),
    Aggregate("Var", "jet_var", MomentStep, VarFinal),
    Aggregate("VarP", "jet_varp", MomentStep, VarPFinal),
};

// SQLite refuses a function with more arguments than this.
constexpr int kMostArguments = 127;

void Register(sqlite3* db, const JetFunction& f, int args) {
  int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
  if (sqlite3_create_function_v2(db, f.internal, args, flags, nullptr, f.scalar, f.step, f.final,
                                 nullptr) != SQLITE_OK) {
    ThrowSqlite(db, f.internal);
  }
}

}  // namespace

const JetFunction* FindJetFunction(std::string_view name) {
  for (const JetFunction& f : kJetFunctions) {
    if (lex::EqualsNoCase(name, f.name)) return &f;
  }
  return nullptr;
}

bool AcceptsArguments(const JetFunction& f, int count) {
  return count >= f.min_args && (f.max_args == kAny || count <= f.max_args) &&
         count <= kMostArguments;
}

bool IsJetInternalName(const std::string& lower_name) {
  return std::any_of(std::begin(kJetFunctions), std::end(kJetFunctions),
                     [&](const JetFunction& f) { return lower_name == f.internal; });
}

void RegisterJetFunctions(sqlite3* db) {
  for (const JetFunction& f : kJetFunctions) {
    if (f.scalar == nullptr && f.step == nullptr) continue;  // SQLite's own
    if (f.max_args == kAny) {
      Register(db, f, -1);
      continue;
    }
    for (int n = f.min_args; n <= f.max_args; ++n) Register(db, f, n);
  }
}

}  // namespace kestle::db
