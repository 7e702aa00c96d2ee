// Date/time values as the host application passes them: an 8-byte floating
// point count of days since 1899-12-30, the fraction being the time of day.
//
// Pure arithmetic, no clock and no locale: the clock and the regional date
// text belong to Env.
#ifndef KESTLE_PLATFORM_DATE_H_
#define KESTLE_PLATFORM_DATE_H_

#include <optional>
#include <string>
#include <string_view>

namespace kestle {

using Date = double;

struct CivilTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

// The Date of a calendar date and time of day. Fields are not range-checked.
Date MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
Date ToDate(const CivilTime& t);

// The calendar date and time of `date`, rounded to the nearest second. Days
// before 1899-12-30 follow the host's convention: the integer part counts days
// backwards and the fraction still adds the time of day.
CivilTime ToCivil(Date date);

// The calendar day of `date` as a day number: its whole-day part, the time
// of day dropped and never rounded (23:59:59.7 is still that day).
long long DayNumber(Date date);

// "YYYY-MM-DD HH:MM:SS", the form the SQLite engine stores and the form the
// component writes between '#' delimiters.
std::string IsoDateTimeText(Date date);

// The US general date text, "1/5/2026 7:03:00 AM", with the time left out at
// midnight: the date text of the C locale and of the test double.
std::string UsGeneralDateText(Date date);

// Parses "YYYY-MM-DD", optionally followed by " HH:MM[:SS]" or "THH:MM[:SS]".
// Returns nothing for any other text or an impossible date.
std::optional<Date> ParseIsoDateTime(std::string_view text);

// A date as whole seconds on a continuous time line (0 = 1899-12-30 00:00;
// rounded to the second) and back. Before that day a date's fraction still
// adds the time of day; on the line, time always runs forward.
long long SecondsOf(Date date);
Date DateOfSeconds(long long seconds);
// The date of day number `day` (see DayNumber) at `seconds` past midnight.
Date DateOfDay(long long day, long long seconds = 0);
// The day number of a calendar date whose month and day may lie outside
// their ranges and carry over: month 13 is January of the next year, day 0
// the last day of the month before.
long long DayOfCivil(long long year, long long month, long long day);

// Parses a date as the host's database reads the inside of a "#...#" literal,
// and as the tool reads a date option: "M/D/YYYY" (a two-digit year means 1930
// to 2029) or "YYYY-MM-DD", either optionally followed by a time of day
// ("h:mm[:ss]" with an optional AM or PM, or "h AM"; after an ISO date also
// "T" and the time), or a time of day alone, which falls on 1899-12-30.
// Blanks around the text are ignored. Returns nothing for any other text or
// an impossible date.
std::optional<Date> ParseDateText(std::string_view text);

}  // namespace kestle

#endif  // KESTLE_PLATFORM_DATE_H_
