// Format(value[, format[, firstdayofweek[, firstweekofyear]]]): a number or a
// date as text, by a named format or a pattern, in US English. Number
// patterns take sections for positive;negative;zero;Null values and round
// halves away from zero; a pattern with date or time letters formats dates.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/ascii.h"

namespace kestle::db::fn {

namespace {

struct NamedFormat {
  const char* name;
  const char* pattern;  // "" for the general forms
  bool date;
};
constexpr NamedFormat kNamedFormats[] = {
    {"General Date", "c", true},
    {"Long Date", "dddd, mmmm d, yyyy", true},
    {"Medium Date", "dd-mmm-yy", true},
    {"Short Date", "m/d/yyyy", true},
    {"Long Time", "h:nn:ss AM/PM", true},
    {"Medium Time", "hh:nn AM/PM", true},
    {"Short Time", "hh:nn", true},
    {"General Number", "", false},
    {"Currency", "$#,##0.00;($#,##0.00)", false},
    {"Fixed", "0.00", false},
    {"Standard", "#,##0.00", false},
    {"Percent", "0.00%", false},
    {"Scientific", "0.00E+00", false},
};

// Named formats of truth values: the text for a number other than 0, and for 0.
struct TruthFormat {
  const char* name;
  const char* yes;
  const char* no;
};
constexpr TruthFormat kTruthFormats[] = {
    {"Yes/No", "Yes", "No"}, {"True/False", "True", "False"}, {"On/Off", "On", "Off"}};

// The letters that make a pattern a date pattern.
constexpr std::string_view kDateLetters = "dwmqyhnstcDWMQYHNSTC";

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (ascii::FoldLower(a[k]) != ascii::FoldLower(b[k])) {
      return false;
    }
  }
  return true;
}

bool StartsNoCase(std::string_view text, size_t at, std::string_view word) {
  return text.size() - at >= word.size() && SameNoCase(text.substr(at, word.size()), word);
}

bool IsDatePattern(std::string_view pattern) {
  std::string ignored;
  for (size_t i = 0; i < pattern.size();) {
    if (CopyFormatLiteral(pattern, &i, &ignored)) continue;
    if (kDateLetters.find(pattern[i]) != std::string_view::npos ||
        StartsNoCase(pattern, i, "AM/PM") || StartsNoCase(pattern, i, "A/P")) {
      return true;
    }
    ++i;
  }
  return false;
}

// The hour of the clock for a pattern with AM/PM: 12, 1, ..., 11.
int ClockHour(int hour) { return hour % 12 == 0 ? 12 : hour % 12; }

}  // namespace

std::string FormatDate(Date date, std::string_view pattern, int first_day, int first_week) {
  CivilTime t = ToCivil(date);
  bool clock = false;  // an AM/PM marker makes hours run 1 to 12
  for (size_t i = 0; i < pattern.size(); ++i) {
    clock = clock || StartsNoCase(pattern, i, "AM/PM") || StartsNoCase(pattern, i, "A/P") ||
            StartsNoCase(pattern, i, "AMPM");
  }
  auto two = [](int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return std::string(buf);
  };
  std::string out;
  bool after_hour = false;  // an "m" right after an hour means minutes
  for (size_t i = 0; i < pattern.size();) {
    if (CopyFormatLiteral(pattern, &i, &out)) continue;
    char c = pattern[i];
    char lower = static_cast<char>(ascii::FoldLower(c));
    size_t run = 1;
    while (i + run < pattern.size() && ascii::FoldLower(pattern[i + run]) == lower) {
      ++run;
    }
    if (StartsNoCase(pattern, i, "AM/PM") || StartsNoCase(pattern, i, "A/P")) {
      bool full = StartsNoCase(pattern, i, "AM/PM");
      std::string marker = t.hour < 12 ? (full ? "AM" : "A") : (full ? "PM" : "P");
      if (ascii::IsLower(c)) {
        for (char& m : marker) m = static_cast<char>(ascii::FoldLower(m));
      }
      out += marker;
      i += full ? 5 : 3;
      continue;
    }
    if (StartsNoCase(pattern, i, "AMPM")) {
      out += t.hour < 12 ? "AM" : "PM";
      i += 4;
      continue;
    }
    bool minutes_follow = false;
    for (size_t k = i + run; k < pattern.size() && !minutes_follow; ++k) {
      char n = static_cast<char>(ascii::FoldLower(pattern[k]));
      if (ascii::IsAlpha(n)) {
        minutes_follow = n == 's';
        break;
      }
    }
    bool was_after_hour = after_hour;
    after_hour = false;
    switch (lower) {
      case 'c':
        // The date unless it is day 0, the time unless it is midnight.
        if (DayNumber(date) != 0) out += FormatDate(date, "m/d/yyyy", 1, 1);
        if (t.hour != 0 || t.minute != 0 || t.second != 0 || DayNumber(date) == 0) {
          if (!out.empty() && out.back() != ' ') out += ' ';
          out += FormatDate(date, "h:nn:ss AM/PM", 1, 1);
        }
        break;
      case 'd':
        if (run == 1) out += std::to_string(t.day);
        if (run == 2) out += two(t.day);
        if (run == 3 || run == 4) out += WeekdayNameOf(WeekdayOf(DayNumber(date), 1), run == 3);
        if (run == 5) out += FormatDate(date, "m/d/yyyy", 1, 1);
        if (run >= 6) out += FormatDate(date, "dddd, mmmm d, yyyy", 1, 1);
        break;
      case 'w':
        out += FormatDatePart(date, run == 1 ? 'w' : 'W', first_day, first_week);
        break;
      case 'm':
        if (was_after_hour || minutes_follow) {
          out += run == 1 ? std::to_string(t.minute) : two(t.minute);
        } else if (run <= 2) {
          out += run == 1 ? std::to_string(t.month) : two(t.month);
        } else {
          out += MonthNameOf(t.month, run == 3);
        }
        break;
      case 'q':
        out += FormatDatePart(date, 'q', first_day, first_week);
        break;
      case 'y':
        if (run == 1) out += FormatDatePart(date, 'y', first_day, first_week);
        if (run == 2 || run == 3) out += two(t.year % 100);
        if (run >= 4) out += std::to_string(t.year);
        break;
      case 'h': {
        int hour = clock ? ClockHour(t.hour) : t.hour;
        out += run == 1 ? std::to_string(hour) : two(hour);
        after_hour = true;
        break;
      }
      case 'n':
        out += run == 1 ? std::to_string(t.minute) : two(t.minute);
        break;
      case 's':
        out += run == 1 ? std::to_string(t.second) : two(t.second);
        break;
      case 't':
        if (run >= 5) {
          out += FormatDate(date, "h:nn:ss AM/PM", 1, 1);
          break;
        }
        [[fallthrough]];
      default:
        out.append(run, c);
        if (ascii::IsSpace(c) || c == ':' || c == '/') {
          after_hour = was_after_hour;
        }
    }
    i += run;
  }
  return out;
}

void Format(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int first_day = 1, first_week = 1;
  int64_t v = 1;
  if (!OptionalWhole(ctx, argc, argv, 2, 1, &v)) return;
  first_day = v == 0 ? 1 : static_cast<int>(v);
  if (!OptionalWhole(ctx, argc, argv, 3, 1, &v)) return;
  first_week = v == 0 ? 1 : static_cast<int>(v);
  if (first_day < 1 || first_day > 7 || first_week < 1 || first_week > 3) {
    return (void)Fail(ctx, kInvalidArgumentText);
  }
  std::string pattern_buffer, value_buffer;
  std::string pattern(argc > 1 && !IsNull(argv[1]) ? TextOf(argv[1], &pattern_buffer) : "");
  if (IsNull(argv[0])) {
    // A fourth section gives the text for Null; without one it is "".
    std::optional<std::string> text = FormatNull(pattern);
    return ResultText(ctx, text && !IsDatePattern(pattern) ? *text : "");
  }
  std::string_view text = TextOf(argv[0], &value_buffer);
  bool is_number =
      sqlite3_value_type(argv[0]) == SQLITE_INTEGER || sqlite3_value_type(argv[0]) == SQLITE_FLOAT;
  std::optional<double> number = is_number ? sqlite3_value_double(argv[0]) : ParseNumberText(text);
  std::optional<Date> date;
  if (!number) date = ParseValueDate(text);
  for (const TruthFormat& f : kTruthFormats) {
    if (!SameNoCase(pattern, f.name)) continue;
    if (!number) return ResultText(ctx, text);
    return ResultText(ctx, *number != 0 ? f.yes : f.no);
  }
  bool named_date = false;
  for (const NamedFormat& f : kNamedFormats) {
    if (SameNoCase(pattern, f.name)) {
      pattern = f.pattern;
      named_date = f.date;
      break;
    }
  }
  if (pattern.empty()) {
    // Without a pattern a date is written as a general date.
    if (date) return ResultText(ctx, FormatDate(*date, "c", 1, 1));
    return ResultText(ctx, number ? FormatNumber(*number, "") : std::string(text));
  }
  if (named_date || IsDatePattern(pattern)) {
    if (!date && number) date = *number;
    if (!date) return ResultText(ctx, text);
    return ResultText(ctx, FormatDate(*date, pattern, first_day, first_week));
  }
  if (!number && date) number = *date;
  if (!number) return ResultText(ctx, text);
  ResultText(ctx, FormatNumber(*number, pattern));
}

}  // namespace kestle::db::fn
