// Jet date literals (see jet_date.h).
#include "db/sqlite/jet_date.h"

#include <cstdio>

#include "db/sqlite/jet_lex.h"

namespace kestle::db {
namespace {

using lex::FoldUpper;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// A cursor over the text of a date literal.
class DateScanner {
 public:
  explicit DateScanner(std::string_view s) : s_(s) {}
  bool AtEnd() const { return i_ == s_.size(); }
  // Reads 1 to max_digits digits; returns -1 (and reads nothing) without one.
  int Number(int max_digits, int* digits = nullptr) {
    int v = 0, n = 0;
    while (i_ < s_.size() && n < max_digits && std::isdigit(static_cast<unsigned char>(s_[i_]))) {
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
    if (i_ + 2 <= s_.size() && (s_[i_ + 1] == 'M' || s_[i_ + 1] == 'm')) {
      char c = static_cast<char>(FoldUpper(static_cast<unsigned char>(s_[i_])));
      if (c == 'A' || c == 'P') {
        i_ += 2;
        return c;
      }
    }
    return 0;
  }
  size_t pos() const { return i_; }
  void set_pos(size_t p) { i_ = p; }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

struct DateTimeParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// Reads "h:mm[:ss] [AM|PM]" or "h AM|PM"; false when malformed.
bool ScanTime(DateScanner* s, DateTimeParts* p) {
  p->hour = s->Number(2);
  if (p->hour < 0) return false;
  bool has_minutes = s->Skip(':');
  if (has_minutes) {
    p->minute = s->Number(2);
    if (p->minute < 0) return false;
    if (s->Skip(':')) {
      p->second = s->Number(2);
      if (p->second < 0) return false;
    }
  }
  s->SkipBlanks();
  char meridiem = s->Meridiem();
  if (!has_minutes && !meridiem) return false;
  if (meridiem) {
    if (p->hour < 1 || p->hour > 12) return false;
    p->hour = p->hour % 12 + (meridiem == 'P' ? 12 : 0);
  }
  return p->hour < 24 && p->minute < 60 && p->second < 60;
}

}  // namespace

std::optional<std::string> ParseDateLiteral(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  DateScanner s(text);
  DateTimeParts p;
  int digits = 0;
  int first = s.Number(4, &digits);
  if (first < 0) return std::nullopt;
  bool has_date = true;
  if (digits == 4 && s.Skip('-')) {
    p.year = first;
    p.month = s.Number(2);
    if (!s.Skip('-')) return std::nullopt;
    p.day = s.Number(2);
  } else if (digits <= 2 && s.Skip('/')) {
    p.month = first;
    p.day = s.Number(2);
    if (!s.Skip('/')) return std::nullopt;
    p.year = s.Number(4, &digits);
    if (digits == 2) p.year += p.year < 30 ? 2000 : 1900;
    if (digits != 2 && digits != 4) return std::nullopt;
  } else {
    has_date = false;
    s.set_pos(0);
  }
  if (has_date) {
    if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysInMonth(p.year, p.month)) {
      return std::nullopt;
    }
    if (!s.AtEnd()) {
      if (!s.Skip('T')) {
        if (!s.Skip(' ')) return std::nullopt;
        s.SkipBlanks();
      }
    }
  }
  if (!s.AtEnd() && !ScanTime(&s, &p)) return std::nullopt;
  if (!s.AtEnd()) return std::nullopt;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return std::string(buf);
}

}  // namespace kestle::db
