// Date arithmetic on the host's floating-point day counts.
#include "platform/date.h"

#include <cmath>
#include <cstdio>

#include "platform/ascii.h"

namespace kestle {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's
// days_from_civil), valid for every year the host can represent.
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* y, int* m, int* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yy + (*m <= 2));
}

// constexpr so that dates built during static initialisation elsewhere are right.
constexpr long long kEpochOffset = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

Date MakeDate(int year, int month, int day, int hour, int minute, int second) {
  const long long days = DaysFromCivil(year, month, day) - kEpochOffset;
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before the epoch the integer part counts backwards while the fraction
  // still adds the time of day, so the two are combined with opposite signs.
  return days >= 0 ? days + time : days - time;
}

Date ToDate(const CivilTime& t) {
  return MakeDate(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

CivilTime ToCivil(Date date) {
  double whole = std::trunc(date);
  long long days = static_cast<long long>(whole);
  long long secs = std::llround(std::fabs(date - whole) * 86400.0);
  if (secs >= 86400) {
    // Rounding carried into the next calendar day. Before the epoch the
    // fraction is still a time of day added to the whole-day part, so the
    // next day is one more there too.
    secs -= 86400;
    days += 1;
  }
  CivilTime t;
  CivilFromDays(days + kEpochOffset, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(secs / 3600);
  t.minute = static_cast<int>(secs / 60 % 60);
  t.second = static_cast<int>(secs % 60);
  return t;
}

long long DayNumber(Date date) {
  // The integer part is the day on both sides of the epoch (before it the
  // fraction adds the time of day to a negative count), so truncation gives
  // the day; rounding to the second first would move 23:59:59.7 to the next.
  return static_cast<long long>(std::trunc(date));
}

std::string IsoDateTimeText(Date date) {
  CivilTime t = ToCivil(date);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

std::string UsGeneralDateText(Date date) {
  CivilTime t = ToCivil(date);
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%d/%d/%d", t.month, t.day, t.year);
  if (t.hour != 0 || t.minute != 0 || t.second != 0) {
    int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    std::snprintf(buf + n, sizeof buf - n, " %d:%02d:%02d %s", hour12, t.minute, t.second,
                  t.hour < 12 ? "AM" : "PM");
  }
  return buf;
}

namespace {

// Reads exactly `width` decimal digits at text[*pos].
bool ReadDigits(std::string_view text, size_t* pos, int width, int* out) {
  if (*pos + width > text.size()) return false;
  int v = 0;
  for (int i = 0; i < width; ++i) {
    char c = text[*pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *pos += width;
  *out = v;
  return true;
}

bool Expect(std::string_view text, size_t* pos, char c) {
  if (*pos >= text.size() || text[*pos] != c) return false;
  ++*pos;
  return true;
}

}  // namespace

std::optional<Date> ParseIsoDateTime(std::string_view text) {
  CivilTime t;
  size_t pos = 0;
  if (!ReadDigits(text, &pos, 4, &t.year) || !Expect(text, &pos, '-') ||
      !ReadDigits(text, &pos, 2, &t.month) || !Expect(text, &pos, '-') ||
      !ReadDigits(text, &pos, 2, &t.day)) {
    return std::nullopt;
  }
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    ++pos;
    if (!ReadDigits(text, &pos, 2, &t.hour) || !Expect(text, &pos, ':') ||
        !ReadDigits(text, &pos, 2, &t.minute)) {
      return std::nullopt;
    }
    if (pos < text.size() && (!Expect(text, &pos, ':') || !ReadDigits(text, &pos, 2, &t.second))) {
      return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
  }
  if (t.year < 100 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return ToDate(t);
}

// --- Arithmetic on the time line ----------------------------------------------

namespace {

constexpr long long kSecondsPerDay = 86400;

long long FloorDiv(long long a, long long b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));

}

// A cursor over the text of a date.
class DateScanner {
 public:
  explicit DateScanner(std::string_view s) : s_(s) {}
  bool AtEnd() const { return i_ == s_.size(); }
  // Reads 1 to max_digits digits; returns -1 (and reads nothing) without one.
  int Number(int max_digits, int* digits = nullptr) {
    int v = 0, n = 0;
    while (i_ < s_.size() && n < max_digits && ascii::IsDigit(s_[i_])) {
      v = v * 10 + (s_[i_++] - '0');
      ++n;
    }
    if (digits) *digits = n;
    return n == 0 ? -1 : v;
  }
  bool Skip(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  void SkipBlanks() {
    while (i_ < s_.size() && s_[i_] == ' ') ++i_;
  }
  // Reads "AM" or "PM" (any case); returns 0, 'A' or 'P'.
  char Meridiem() {
    if (i_ + 2 <= s_.size() && ascii::FoldUpper(s_[i_ + 1]) == 'M') {
      const char c = ascii::FoldUpper(s_[i_]);
      if (c == 'A' || c == 'P') {
        i_ += 2;
        return c;
      }
    }
    return 0;
  }
  void Rewind() { i_ = 0; }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

// Two-digit years from here on are of the 1900s, below it of the 2000s.
constexpr int kCenturyPivot = 30;

// Reads "h:mm[:ss] [AM|PM]" or "h AM|PM" into `t`; false when malformed.
bool ScanTime(DateScanner* s, CivilTime* t) {
  t->hour = s->Number(2);
  if (t->hour < 0) return false;
  const bool has_minutes = s->Skip(':');
  if (has_minutes) {
    t->minute = s->Number(2);
    if (t->minute < 0) return false;
    if (s->Skip(':')) {
      t->second = s->Number(2);
      if (t->second < 0) return false;
    }
  }
  s->SkipBlanks();
  const char meridiem = s->Meridiem();
  if (!has_minutes && !meridiem) return false;
  if (meridiem) {
    if (t->hour < 1 || t->hour > 12) return false;
    t->hour = t->hour % 12 + (meridiem == 'P' ? 12 : 0);
  }
  return t->hour < 24 && t->minute < 60 && t->second < 60;
}

// Reads "YYYY-MM-DD" or "M/D/YY[YY]" into `t`. Returns false when the text
// is malformed or the date impossible; sets *has_date to false (reading
// nothing) when the text does not start with a date at all.
bool ScanCalendarDate(DateScanner* s, CivilTime* t, bool* has_date) {
  int digits = 0;
  const int first = s->Number(4, &digits);
  if (first < 0) return false;
  *has_date = true;
  if (digits == 4 && s->Skip('-')) {
    t->year = first;
    t->month = s->Number(2);
    if (!s->Skip('-')) return false;
    t->day = s->Number(2);
  } else if (digits <= 2 && s->Skip('/')) {
    t->month = first;
    t->day = s->Number(2);
    if (!s->Skip('/')) return false;
    t->year = s->Number(4, &digits);
    if (digits == 2) t->year += t->year < kCenturyPivot ? 2000 : 1900;
    if (digits != 2 && digits != 4) return false;
  } else {
    *has_date = false;
    s->Rewind();
    return true;
  }
  return t->month >= 1 && t->month <= 12 && t->day >= 1 && t->day <= DaysInMonth(t->year, t->month);
}

}  // namespace

long long SecondsOf(Date date) {
  double whole = std::trunc(date);
  long long seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
  return static_cast<long long>(whole) * kSecondsPerDay + seconds;
}

Date DateOfDay(long long day, long long seconds) {
  // Before the epoch the fraction still adds the time of day (see MakeDate).
  double time = static_cast<double>(seconds) / kSecondsPerDay;
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

Date DateOfSeconds(long long seconds) {
  long long day = FloorDiv(seconds, kSecondsPerDay);
  return DateOfDay(day, seconds - day * kSecondsPerDay);
}

long long DayOfCivil(long long year, long long month, long long day) {
  long long months = year * 12 + (month - 1);
  long long y = FloorDiv(months, 12);
  int m = static_cast<int>(months - y * 12) + 1;
  return DayNumber(MakeDate(static_cast<int>(y), m, 1)) + day - 1;

}

std::optional<Date> ParseDateText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  DateScanner s(text);
  CivilTime t;
  bool has_date = false;
  if (!ScanCalendarDate(&s, &t, &has_date)) return std::nullopt;
  if (has_date && !s.AtEnd()) {
    if (!s.Skip('T')) {
      if (!s.Skip(' ')) return std::nullopt;
      s.SkipBlanks();
    }
  }
  if (!s.AtEnd() && !ScanTime(&s, &t)) return std::nullopt;
  if (!s.AtEnd()) return std::nullopt;
  return ToDate(t);
}

}  // namespace kestle
