// The Jet date and time functions: Date, Now, Time, Year, Month, Day, Hour,
// Minute, Second, Weekday, WeekdayName, MonthName, DateSerial, TimeSerial,
// DateValue, TimeValue, DateAdd, DateDiff and DatePart. Dates come in as the
// stored date text, date text the host reads, or day counts, and go out as
// the stored date text; a Null date gives Null.
#include <array>

#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/ascii.h"
#include "platform/env.h"

namespace kestle::db::fn {

namespace {

constexpr long long kSecondsPerDay = 86400;
constexpr int kSunday = 1;

constexpr std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kWeekdayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                      "Thursday", "Friday", "Saturday"};

long long FloorDiv(long long a, long long b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
long long FloorMod(long long a, long long b) { return a - FloorDiv(a, b) * b; }

// A date taken apart: its day number, the seconds since that midnight and
// its calendar fields.
struct Moment {
  long long seconds = 0;  // on the continuous time line (SecondsOf)
  long long day = 0;
  long long second_of_day = 0;
  CivilTime civil;
};

Moment MomentOf(Date date) {
  Moment m;
  m.seconds = SecondsOf(date);
  m.day = FloorDiv(m.seconds, kSecondsPerDay);
  m.second_of_day = m.seconds - m.day * kSecondsPerDay;
  m.civil = ToCivil(DateOfDay(m.day, m.second_of_day));
  return m;
}

// The intervals of DateAdd, DateDiff and DatePart.
enum class Interval {
  kYear,
  kQuarter,
  kMonth,
  kDayOfYear,
  kDay,
  kWeekday,
  kWeek,
  kHour,
  kMinute,
  kSecond
};
struct IntervalName {
  const char* name;
  Interval interval;
};
constexpr IntervalName kIntervals[] = {
    {"yyyy", Interval::kYear},   {"q", Interval::kQuarter}, {"m", Interval::kMonth},
    {"y", Interval::kDayOfYear}, {"d", Interval::kDay},     {"w", Interval::kWeekday},
    {"ww", Interval::kWeek},     {"h", Interval::kHour},    {"n", Interval::kMinute},
    {"s", Interval::kSecond},
};

// Reads the interval argument; Null is Invalid use of Null, an unknown
// interval Invalid procedure call.
bool ReadInterval(sqlite3_context* ctx, sqlite3_value* v, Interval* out) {
  if (IsNull(v)) return Fail(ctx, kInvalidUseOfNullText);
  std::string buffer, lower;
  for (char c : TextOf(v, &buffer)) lower += static_cast<char>(ascii::FoldLower(c));
  for (const IntervalName& i : kIntervals) {
    if (lower == i.name) {
      *out = i.interval;
      return true;
    }
  }
  return Fail(ctx, kInvalidArgumentText);
}

// Reads an optional firstdayofweek (0 = the system's, Sunday) or
// firstweekofyear (0 = the system's, the week of January 1) argument.
bool ReadFirst(sqlite3_context* ctx, int argc, sqlite3_value** argv, int k, int64_t most,
               int* out) {
  int64_t v = 1;
  if (!OptionalWhole(ctx, argc, argv, k, 1, &v)) return false;
  if (v < 0 || v > most) return Fail(ctx, kInvalidArgumentText);
  *out = v == 0 ? 1 : static_cast<int>(v);
  return true;
}

// The week of the year of `day` in `year`: week 1 holds January 1
// (first_week 1), holds four days of the new year (2), or is the first full
// week (3); days before week 1 belong to the last week of the year before.
int WeekOfYear(long long day, int year, int first_day, int first_week) {
  long long jan1 = DayOfCivil(year, 1, 1);
  int offset = WeekdayOf(jan1, first_day) - 1;  // days of its week before January 1
  bool counts = first_week == 1 || (first_week == 2 && offset <= 3) || offset == 0;
  long long week = (day - jan1 + offset) / 7 + (counts ? 1 : 0);
  if (week == 0) return WeekOfYear(jan1 - 1, year - 1, first_day, first_week);
  return static_cast<int>(week);
}

// One part of a date (DatePart's and the single-part functions').
long long PartOf(const Moment& m, Interval part, int first_day, int first_week) {
  switch (part) {
    case Interval::kYear:
      return m.civil.year;
    case Interval::kQuarter:
      return (m.civil.month - 1) / 3 + 1;
    case Interval::kMonth:
      return m.civil.month;
    case Interval::kDayOfYear:
      return m.day - DayOfCivil(m.civil.year, 1, 1) + 1;
    case Interval::kDay:
      return m.civil.day;
    case Interval::kWeekday:
      return WeekdayOf(m.day, first_day);
    case Interval::kWeek:
      return WeekOfYear(m.day, m.civil.year, first_day, first_week);
    case Interval::kHour:
      return m.civil.hour;
    case Interval::kMinute:
      return m.civil.minute;
    case Interval::kSecond:
      return m.civil.second;
  }
  return 0;
}

// Year, Month, Day, Hour, Minute and Second.
void SinglePart(sqlite3_context* ctx, sqlite3_value* v, Interval part) {
  Date date = 0;
  if (ReadDate(ctx, v, &date) != Got::kValue) return;
  sqlite3_result_int64(ctx, PartOf(MomentOf(date), part, kSunday, 1));
}

}  // namespace

std::string MonthNameOf(int month, bool abbreviate) {
  std::string name = kMonthNames[month - 1];
  return abbreviate ? name.substr(0, 3) : name;
}

std::string WeekdayNameOf(int weekday, bool abbreviate) {
  std::string name = kWeekdayNames[weekday - 1];
  return abbreviate ? name.substr(0, 3) : name;
}

int WeekdayOf(long long day, int first_day) {
  // Day 1, 1899-12-31, was a Sunday.
  long long from_sunday = FloorMod(day - 1, 7);
  return static_cast<int>(FloorMod(from_sunday - (first_day - 1), 7)) + 1;
}

void DateNow(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultDate(ctx, DateOfDay(MomentOf(Env::Default()->Now()).day));
}
void Now(sqlite3_context* ctx, int, sqlite3_value**) { ResultDate(ctx, Env::Default()->Now()); }
void Time(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultDate(ctx, DateOfDay(0, MomentOf(Env::Default()->Now()).second_of_day));
}

void Year(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SinglePart(ctx, argv[0], Interval::kYear);
}
void Month(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SinglePart(ctx, argv[0], Interval::kMonth);
}
void Day(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SinglePart(ctx, argv[0], Interval::kDay);
}
void Hour(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SinglePart(ctx, argv[0], Interval::kHour);
}
void Minute(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SinglePart(ctx, argv[0], Interval::kMinute);
}
void Second(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SinglePart(ctx, argv[0], Interval::kSecond);
}

void Weekday(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int first_day = kSunday;
  if (!ReadFirst(ctx, argc, argv, 1, 7, &first_day)) return;
  Date date = 0;
  if (ReadDate(ctx, argv[0], &date) != Got::kValue) return;
  sqlite3_result_int(ctx, WeekdayOf(MomentOf(date).day, first_day));
}

void WeekdayName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t weekday = 0, abbreviate = 0;
  int first_day = kSunday;
  if (!RequireWhole(ctx, argv[0], &weekday) || !OptionalWhole(ctx, argc, argv, 1, 0, &abbreviate) ||
      !ReadFirst(ctx, argc, argv, 2, 7, &first_day)) {
    return;
  }
  if (weekday < 1 || weekday > 7) return (void)Fail(ctx, kInvalidArgumentText);
  int sunday_based = static_cast<int>((weekday - 1 + first_day - 1) % 7) + 1;
  ResultText(ctx, WeekdayNameOf(sunday_based, abbreviate != 0));
}

void MonthName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t month = 0, abbreviate = 0;
  if (!RequireWhole(ctx, argv[0], &month) || !OptionalWhole(ctx, argc, argv, 1, 0, &abbreviate)) {
    return;
  }
  if (month < 1 || month > 12) return (void)Fail(ctx, kInvalidArgumentText);
  ResultText(ctx, MonthNameOf(static_cast<int>(month), abbreviate != 0));
}

void DateSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int64_t parts[3] = {0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    if (!RequireWhole(ctx, argv[k], &parts[k], -32768, 32767)) return;
  }
  // A two-digit year means 1930 to 2029.
  if (parts[0] >= 0 && parts[0] <= 99) parts[0] += parts[0] < 30 ? 2000 : 1900;
  Date date = DateOfDay(DayOfCivil(parts[0], parts[1], parts[2]));
  if (CheckDateRange(ctx, date)) ResultDate(ctx, date);
}

void TimeSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int64_t parts[3] = {0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    if (!RequireWhole(ctx, argv[k], &parts[k], -32768, 32767)) return;
  }
  ResultDate(ctx, DateOfSeconds(parts[0] * 3600 + parts[1] * 60 + parts[2]));
}

void DateValue(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Date date = 0;
  Got got = ReadDate(ctx, argv[0], &date);
  if (got == Got::kNull) return (void)Fail(ctx, kInvalidUseOfNullText);
  if (got == Got::kValue) ResultDate(ctx, DateOfDay(MomentOf(date).day));
}

void TimeValue(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Date date = 0;
  Got got = ReadDate(ctx, argv[0], &date);
  if (got == Got::kNull) return (void)Fail(ctx, kInvalidUseOfNullText);
  if (got == Got::kValue) ResultDate(ctx, DateOfDay(0, MomentOf(date).second_of_day));
}

void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Interval interval;
  int64_t n = 0;
  if (!ReadInterval(ctx, argv[0], &interval) || !RequireWhole(ctx, argv[1], &n, -1e15, 1e15)) {
    return;
  }
  Date date = 0;
  if (ReadDate(ctx, argv[2], &date) != Got::kValue) return;
  Moment m = MomentOf(date);
  long long months = 0, seconds = 0;
  switch (interval) {
    case Interval::kYear:
      months = 12 * n;
      break;
    case Interval::kQuarter:
      months = 3 * n;
      break;
    case Interval::kMonth:
      months = n;
      break;
    case Interval::kDayOfYear:
    case Interval::kDay:
    case Interval::kWeekday:
      seconds = n * kSecondsPerDay;
      break;
    case Interval::kWeek:
      seconds = 7 * n * kSecondsPerDay;
      break;
    case Interval::kHour:
      seconds = 3600 * n;
      break;
    case Interval::kMinute:
      seconds = 60 * n;
      break;
    case Interval::kSecond:
      seconds = n;
      break;
  }
  Date result = DateOfSeconds(m.seconds + seconds);
  if (months != 0) {
    // A day beyond the end of the new month becomes its last day.
    long long first = DayOfCivil(m.civil.year, m.civil.month + months, 1);
    long long length = DayOfCivil(m.civil.year, m.civil.month + months + 1, 1) - first;
    long long day = first + std::min<long long>(m.civil.day, length) - 1;
    result = DateOfDay(day, m.second_of_day);
  }
  if (CheckDateRange(ctx, result)) ResultDate(ctx, result);
}

void DateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Interval interval;
  int first_day = kSunday, first_week = 1;
  if (!ReadInterval(ctx, argv[0], &interval) || !ReadFirst(ctx, argc, argv, 3, 7, &first_day) ||
      !ReadFirst(ctx, argc, argv, 4, 3, &first_week)) {
    return;
  }
  Date d1 = 0, d2 = 0;
  Got g1 = ReadDate(ctx, argv[1], &d1);
  if (g1 == Got::kFailed) return;
  Got g2 = ReadDate(ctx, argv[2], &d2);
  if (g1 != Got::kValue || g2 != Got::kValue) return;
  Moment a = MomentOf(d1), b = MomentOf(d2);
  long long diff = 0;
  switch (interval) {
    case Interval::kYear:
      diff = b.civil.year - a.civil.year;
      break;
    case Interval::kQuarter:
      diff = (b.civil.year * 4LL + (b.civil.month - 1) / 3) -
             (a.civil.year * 4LL + (a.civil.month - 1) / 3);
      break;
    case Interval::kMonth:
      diff = (b.civil.year * 12LL + b.civil.month) - (a.civil.year * 12LL + a.civil.month);
      break;
    case Interval::kDayOfYear:
    case Interval::kDay:
      diff = b.day - a.day;
      break;
    case Interval::kWeekday:
      // Whole seven-day spans from the first date.
      diff = (b.day - a.day) / 7;
      break;
    case Interval::kWeek:
      // The first days of weeks after the first date, up to the second.
      diff = FloorDiv(b.day - first_day, 7) - FloorDiv(a.day - first_day, 7);
      break;
    case Interval::kHour:
      diff = FloorDiv(b.seconds, 3600) - FloorDiv(a.seconds, 3600);
      break;
    case Interval::kMinute:
      diff = FloorDiv(b.seconds, 60) - FloorDiv(a.seconds, 60);
      break;
    case Interval::kSecond:
      diff = b.seconds - a.seconds;
      break;
  }
  sqlite3_result_int64(ctx, diff);
}

void DatePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  Interval interval;
  int first_day = kSunday, first_week = 1;
  if (!ReadInterval(ctx, argv[0], &interval) || !ReadFirst(ctx, argc, argv, 2, 7, &first_day) ||
      !ReadFirst(ctx, argc, argv, 3, 3, &first_week)) {
    return;
  }
  Date date = 0;
  if (ReadDate(ctx, argv[1], &date) != Got::kValue) return;
  sqlite3_result_int64(ctx, PartOf(MomentOf(date), interval, first_day, first_week));
}

std::string FormatDatePart(Date date, char part, int first_day, int first_week) {
  Moment m = MomentOf(date);
  Interval interval = part == 'w'   ? Interval::kWeekday
                      : part == 'W' ? Interval::kWeek
                      : part == 'q' ? Interval::kQuarter
                                    : Interval::kDayOfYear;
  return std::to_string(PartOf(m, interval, first_day, first_week));
}

}  // namespace kestle::db::fn
