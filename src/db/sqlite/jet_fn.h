// Internal to the Jet function library (jet_functions.h): the implementations
// of each category (jet_fn_*.cc) and the value conversions they share, which
// follow the host's expression service: text that reads as a number counts as
// that number, a date is the engine's stored date text ("YYYY-MM-DD HH:MM:SS")
// or a day count, and a failure is one of the run-time errors of
// sqlite_errors.h set on the call's context.
#ifndef KESTLE_DB_SQLITE_JET_FN_H_
#define KESTLE_DB_SQLITE_JET_FN_H_

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/date.h"

namespace kestle::db::fn {

// --- Values ------------------------------------------------------------------

// How reading an argument went: a value, a Null (no error set), or a failure
// (its error set on the context).
enum class Got { kValue, kNull, kFailed };

inline bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

// Sets the run-time error `text` (sqlite_errors.h) and returns false.
bool Fail(sqlite3_context* ctx, const char* text);

// The value's text as the host converts it (JetText); `buffer` holds it when
// made here.
std::string_view TextOf(sqlite3_value* v, std::string* buffer);

// Text read as a number the way the host coerces text: blanks around, a sign,
// "$", thousands commas, a fraction, an exponent, or "&H"/"&O" digits.
std::optional<double> ParseNumberText(std::string_view text);

// The argument as a number (a stored date counts as its day count); Null is
// kNull, other text Type mismatch.
Got ReadNumber(sqlite3_context* ctx, sqlite3_value* v, double* out);
// As ReadNumber, but a Null fails with Invalid use of Null.
bool RequireNumber(sqlite3_context* ctx, sqlite3_value* v, double* out);
// The argument rounded half to even to a whole number within [lo, hi]
// (Overflow beyond); a Null fails with Invalid use of Null.
bool RequireWhole(sqlite3_context* ctx, sqlite3_value* v, int64_t* out, double lo = -2147483648.0,
                  double hi = 2147483647.0);
// As RequireWhole, but a missing argument (k >= argc) gives `fallback`.
bool OptionalWhole(sqlite3_context* ctx, int argc, sqlite3_value** argv, int k, int64_t fallback,
                   int64_t* out);
// `d` rounded half to even to `lo`..`hi`; false (Overflow set) beyond.
bool RoundWhole(sqlite3_context* ctx, double d, double lo, double hi, int64_t* out);

// Text read as a date: the stored form, US "M/D/YYYY" with or without a time,
// a time alone, or a month name form ("January 5, 2026", "5-Jan-2026").
std::optional<Date> ParseValueDate(std::string_view text);
// The argument as a date (a number is a day count); Null is kNull, text that
// is no date Type mismatch.
Got ReadDate(sqlite3_context* ctx, sqlite3_value* v, Date* out);

// The truth of a value: a number other than 0, text "True"/"False" or a
// number's text; other text is Type mismatch, Null is kNull.
Got ReadTruth(sqlite3_context* ctx, sqlite3_value* v, bool* out);

void ResultText(sqlite3_context* ctx, std::string_view text);
// False (SQLite's "string or blob too big" set) when text of `length` bytes
// would exceed the longest value the database takes; checked before such
// text is built.
bool CheckLength(sqlite3_context* ctx, int64_t length);
// A date in the stored form.
void ResultDate(sqlite3_context* ctx, Date date);
// -1 for true, 0 for false: the host's truth values.
inline void ResultBool(sqlite3_context* ctx, bool b) { sqlite3_result_int(ctx, b ? -1 : 0); }

// --- Text ----------------------------------------------------------------------

// UTF-8 text as code points and back.
std::u32string Decode(std::string_view text);
std::string Encode(std::u32string_view text);
// Upper and lower case of a code point (Latin, Greek, Cyrillic), independent
// of any locale.
char32_t UpperOf(char32_t c);
char32_t LowerOf(char32_t c);
// `text` with every character in upper (lower) case.
std::u32string UpperText(std::u32string text);
std::u32string LowerText(std::u32string text);

// The names of months and weekdays (1 = January, 1 = Sunday), in full or
// abbreviated to three letters.
std::string MonthNameOf(int month, bool abbreviate);
std::string WeekdayNameOf(int weekday, bool abbreviate);
// The weekday of `day` (a day number) counted from `first_day` (1 = Sunday):
// 1 for first_day itself ... 7.
int WeekdayOf(long long day, int first_day);

// --- Dates ----------------------------------------------------------------------

// False (Invalid procedure call set) unless `date` lies in years 100..9999.
bool CheckDateRange(sqlite3_context* ctx, Date date);

// --- Implementations, by category ---------------------------------------------

#define KESTLE_JET_FN(name) void name(sqlite3_context* ctx, int argc, sqlite3_value** argv)
// Conversion (jet_fn_convert.cc).
KESTLE_JET_FN(CBool);
KESTLE_JET_FN(CByte);
KESTLE_JET_FN(CCur);
KESTLE_JET_FN(CDate);
KESTLE_JET_FN(CDbl);
KESTLE_JET_FN(CInt);
KESTLE_JET_FN(CLng);
KESTLE_JET_FN(CSng);
KESTLE_JET_FN(CStr);
KESTLE_JET_FN(CVar);
KESTLE_JET_FN(Val);
KESTLE_JET_FN(Str);
KESTLE_JET_FN(Hex);
KESTLE_JET_FN(Oct);
KESTLE_JET_FN(Asc);
KESTLE_JET_FN(AscW);
KESTLE_JET_FN(Chr);
KESTLE_JET_FN(ChrW);
// Math (jet_fn_math.cc).
KESTLE_JET_FN(Abs);
KESTLE_JET_FN(Int);
KESTLE_JET_FN(Fix);
KESTLE_JET_FN(Round);
KESTLE_JET_FN(Sgn);
KESTLE_JET_FN(Sqr);
KESTLE_JET_FN(Exp);
KESTLE_JET_FN(Log);
KESTLE_JET_FN(Atn);
KESTLE_JET_FN(Sin);
KESTLE_JET_FN(Cos);
KESTLE_JET_FN(Tan);
// Text (jet_fn_text.cc).
KESTLE_JET_FN(Len);
KESTLE_JET_FN(Left);
KESTLE_JET_FN(Right);
KESTLE_JET_FN(Mid);
KESTLE_JET_FN(InStr);
KESTLE_JET_FN(InStrRev);
KESTLE_JET_FN(LCase);
KESTLE_JET_FN(UCase);
KESTLE_JET_FN(LTrim);
KESTLE_JET_FN(RTrim);
KESTLE_JET_FN(Trim);
KESTLE_JET_FN(Space);
KESTLE_JET_FN(String);
KESTLE_JET_FN(StrReverse);
KESTLE_JET_FN(Replace);
KESTLE_JET_FN(StrComp);
// Date and time (jet_fn_date.cc).
KESTLE_JET_FN(DateNow);
KESTLE_JET_FN(Now);
KESTLE_JET_FN(Time);
KESTLE_JET_FN(Year);
KESTLE_JET_FN(Month);
KESTLE_JET_FN(Day);
KESTLE_JET_FN(Hour);
KESTLE_JET_FN(Minute);
KESTLE_JET_FN(Second);
KESTLE_JET_FN(Weekday);
KESTLE_JET_FN(WeekdayName);
KESTLE_JET_FN(MonthName);
KESTLE_JET_FN(DateSerial);
KESTLE_JET_FN(TimeSerial);
KESTLE_JET_FN(DateValue);
KESTLE_JET_FN(TimeValue);
KESTLE_JET_FN(DateAdd);
KESTLE_JET_FN(DateDiff);
KESTLE_JET_FN(DatePart);
// Format (jet_fn_format.cc).
KESTLE_JET_FN(Format);
// Flow and tests (jet_fn_flow.cc).
KESTLE_JET_FN(Nz);
KESTLE_JET_FN(IsNullFn);
KESTLE_JET_FN(IsNumeric);
KESTLE_JET_FN(IsDate);
KESTLE_JET_FN(IsEmpty);
KESTLE_JET_FN(Switch);
KESTLE_JET_FN(Choose);
#undef KESTLE_JET_FN

// Aggregates (jet_fn_aggregate.cc): a step and a final function each.
void FirstStep(sqlite3_context* ctx, int argc, sqlite3_value** argv);
void LastStep(sqlite3_context* ctx, int argc, sqlite3_value** argv);
void KeptFinal(sqlite3_context* ctx);
void MomentStep(sqlite3_context* ctx, int argc, sqlite3_value** argv);
void StDevFinal(sqlite3_context* ctx);
void StDevPFinal(sqlite3_context* ctx);
void VarFinal(sqlite3_context* ctx);
void VarPFinal(sqlite3_context* ctx);

// Format's work, shared with Str: a number in a pattern of the
// format language ("#,##0.00;(#,##0.00)"), a date in a date pattern.
// An empty number pattern gives the general form: up to 15 significant
// digits, with an exponent beyond them (jet_fn_format_number.cc).
std::string FormatNumber(double value, std::string_view pattern);
// The text of the Null section (the fourth) of a number pattern, if any.
std::optional<std::string> FormatNull(std::string_view pattern);
// Copies the literal at pattern[*i] ("text" or \x) to *out and steps over
// it; false when none stands there.
bool CopyFormatLiteral(std::string_view pattern, size_t* i, std::string* out);
std::string FormatDate(Date date, std::string_view pattern, int first_day, int first_week);
// One count of a date as Format writes it: 'w' its weekday, 'W' its week of
// the year, 'q' its quarter, 'y' its day of the year (jet_fn_date.cc).
std::string FormatDatePart(Date date, char part, int first_day, int first_week);

}  // namespace kestle::db::fn

#endif  // KESTLE_DB_SQLITE_JET_FN_H_
