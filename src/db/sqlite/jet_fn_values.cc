// The value conversions shared by the Jet function library (jet_fn.h).
#include <cmath>
#include <cstdlib>

#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sql_functions.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/ascii.h"

namespace kestle::db::fn {

bool Fail(sqlite3_context* ctx, const char* text) {
  sqlite3_result_error(ctx, text, -1);
  return false;
}

std::string_view TextOf(sqlite3_value* v, std::string* buffer) { return JetText(v, buffer); }

namespace {

// Reads "&H..." or "&O..." digits at text[*pos]; nothing when there are none.
// The result is a 16-bit value when the digits fit one, else a 32-bit one,
// both read as signed ("&HFFFF" is -1).
std::optional<double> ReadRadixNumber(std::string_view text, size_t* pos) {
  if (*pos + 2 > text.size() || text[*pos] != '&') return std::nullopt;
  char kind = static_cast<char>(ascii::FoldUpper(text[*pos + 1]));
  int radix = kind == 'H' ? 16 : kind == 'O' ? 8 : 0;
  if (radix == 0) return std::nullopt;
  size_t i = *pos + 2;
  uint64_t value = 0;
  size_t digits = 0;
  for (; i < text.size(); ++i) {
    int d =
        ascii::IsDigit(text[i])
            ? text[i] - '0'
            : (radix == 16 && ascii::IsXDigit(text[i]) ? ascii::FoldUpper(text[i]) - 'A' + 10 : -1);
    if (d < 0 || d >= radix) break;
    value = value * radix + d;
    if (value > 0xFFFFFFFFull) return std::nullopt;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  *pos = i;
  if (value <= 0xFFFF) return static_cast<double>(static_cast<int16_t>(value));
  return static_cast<double>(static_cast<int32_t>(value));
}

}  // namespace

std::optional<double> ParseNumberText(std::string_view text) {
  size_t i = 0;
  auto blanks = [&] {
    while (i < text.size() && ascii::IsSpace(text[i])) ++i;
  };
  blanks();
  if (std::optional<double> radix = ReadRadixNumber(text, &i)) {
    blanks();
    return i == text.size() ? radix : std::nullopt;
  }
  std::string plain;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
  if (i < text.size() && text[i] == '$') ++i;
  bool digits = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (ascii::IsDigit(c)) {
      plain += c;
      digits = true;
    } else if (c == ',' && digits) {
      continue;  // a thousands separator
    } else {
      break;
    }
  }
  if (i < text.size() && text[i] == '.') {
    plain += text[i++];
    for (; i < text.size() && ascii::IsDigit(text[i]); ++i) {
      plain += text[i];
      digits = true;
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    size_t mark = plain.size();
    plain += 'e';
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) plain += text[j++];
    size_t start = j;
    for (; j < text.size() && ascii::IsDigit(text[j]); ++j) {
      plain += text[j];
    }
    if (j == start) {
      plain.resize(mark);
    } else {
      i = j;
    }
  }
  blanks();
  if (i != text.size()) return std::nullopt;
  return std::strtod(plain.c_str(), nullptr);
}

namespace {

// Reads `v` on the time line of numbers and dates: a number as it stands,
// text through `parse` (text it reads as nothing is a type mismatch).
template <typename ParseText>
Got ReadValue(sqlite3_context* ctx, sqlite3_value* v, double* out, ParseText parse) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return Got::kNull;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
      *out = sqlite3_value_double(v);
      return Got::kValue;
    case SQLITE_TEXT: {
      std::string buffer;
      if (std::optional<double> value = parse(TextOf(v, &buffer))) {
        *out = *value;
        return Got::kValue;
      }
      break;
    }
    default:
      break;
  }
  Fail(ctx, kTypeMismatchText);
  return Got::kFailed;
}

}  // namespace

// Text reads as a number first, then as a stored date.
Got ReadNumber(sqlite3_context* ctx, sqlite3_value* v, double* out) {
  return ReadValue(ctx, v, out, [](std::string_view text) -> std::optional<double> {
    if (std::optional<double> number = ParseNumberText(text)) return number;
    return ParseIsoDateTime(text);
  });
}

bool RequireNumber(sqlite3_context* ctx, sqlite3_value* v, double* out) {
  Got got = ReadNumber(ctx, v, out);
  if (got == Got::kNull) return Fail(ctx, kInvalidUseOfNullText);
  return got == Got::kValue;
}

bool RoundWhole(sqlite3_context* ctx, double d, double lo, double hi, int64_t* out) {
  // The default rounding mode takes a half to the even neighbour.
  double whole = std::nearbyint(d);
  if (!(whole >= lo && whole <= hi)) return Fail(ctx, kOverflowText);
  *out = static_cast<int64_t>(whole);
  return true;
}

bool RequireWhole(sqlite3_context* ctx, sqlite3_value* v, int64_t* out, double lo, double hi) {
  double d = 0;
  return RequireNumber(ctx, v, &d) && RoundWhole(ctx, d, lo, hi, out);
}

bool OptionalWhole(sqlite3_context* ctx, int argc, sqlite3_value** argv, int k, int64_t fallback,
                   int64_t* out) {
  if (k >= argc) {
    *out = fallback;
    return true;
  }
  return RequireWhole(ctx, argv[k], out);
}

namespace {

// Month names as a date's text may spell them: in full or their first three
// letters, any case.
int MonthOfName(std::string_view word) {
  if (word.size() < 3) return 0;
  for (int m = 1; m <= 12; ++m) {
    std::string full = MonthNameOf(m, false);
    if (word.size() > full.size()) continue;
    bool same = true;
    for (size_t k = 0; k < word.size() && same; ++k) {
      same = ascii::FoldLower(word[k]) == ascii::FoldLower(full[k]);
    }
    if (same && (word.size() == 3 || word.size() == full.size())) return m;
  }
  return 0;
}

// "January 5, 2026", "Jan 5 2026", "5 January 2026", "5-Jan-2026" and
// "5-Jan-26", each optionally followed by a time of day.
std::optional<Date> ParseMonthNameDate(std::string_view text) {
  std::string words[3];
  size_t i = 0, n = 0;
  while (n < 3) {
    while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '-')) ++i;
    size_t start = i;
    while (i < text.size() && ascii::IsAlnum(text[i])) ++i;
    if (i == start) return std::nullopt;
    words[n++] = std::string(text.substr(start, i - start));
  }
  bool first_is_name = ascii::IsAlpha(words[0][0]) != 0;
  int month = MonthOfName(first_is_name ? words[0] : words[1]);
  const std::string& day_text = first_is_name ? words[1] : words[0];
  const std::string& year_text = words[2];
  auto all_digits = [](const std::string& s) {
    for (char c : s) {
      if (!ascii::IsDigit(c)) return false;
    }
    return true;
  };
  if (month == 0 || !all_digits(day_text) || !all_digits(year_text) || day_text.size() > 2 ||
      (year_text.size() != 2 && year_text.size() != 4)) {
    return std::nullopt;
  }
  int year = std::atoi(year_text.c_str());
  if (year_text.size() == 2) year += year < 30 ? 2000 : 1900;
  char iso[16];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", year, month, std::atoi(day_text.c_str()));
  std::string rest(text.substr(i));
  return kestle::ParseDateText(std::string(iso) + rest);
}

}  // namespace

std::optional<Date> ParseValueDate(std::string_view text) {
  if (std::optional<Date> date = kestle::ParseDateText(text)) return date;
  return ParseMonthNameDate(text);
}

// Text reads as a date first, then as a day number.
Got ReadDate(sqlite3_context* ctx, sqlite3_value* v, Date* out) {
  return ReadValue(ctx, v, out, [](std::string_view text) -> std::optional<double> {
    if (std::optional<Date> date = ParseValueDate(text)) return date;
    return ParseNumberText(text);
  });
}

Got ReadTruth(sqlite3_context* ctx, sqlite3_value* v, bool* out) {
  if (sqlite3_value_type(v) == SQLITE_TEXT) {
    std::string buffer, lower;
    for (char c : TextOf(v, &buffer)) lower += static_cast<char>(ascii::FoldLower(c));
    if (lower == "true" || lower == "false") {
      *out = lower == "true";
      return Got::kValue;
    }
  }
  double d = 0;
  Got got = ReadNumber(ctx, v, &d);
  *out = d != 0;
  return got;
}

void ResultText(sqlite3_context* ctx, std::string_view text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

bool CheckLength(sqlite3_context* ctx, int64_t length) {
  if (length <= sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LENGTH, -1)) return true;
  sqlite3_result_error_toobig(ctx);
  return false;
}

void ResultDate(sqlite3_context* ctx, Date date) { ResultText(ctx, IsoDateTimeText(date)); }

bool CheckDateRange(sqlite3_context* ctx, Date date) {
  constexpr double kFirstDay = -657434.0;  // 100-01-01
  constexpr double kPastLast = 2958466.0;  // 10000-01-01
  if (std::trunc(date) < kFirstDay || date >= kPastLast) return Fail(ctx, kInvalidArgumentText);
  return true;
}

}  // namespace kestle::db::fn
