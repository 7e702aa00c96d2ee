// Format's number patterns (jet_fn.h): placeholders 0 and #, the point,
// thousands and scaling commas, percent, exponents and literals, in up to
// four sections for positive;negative;zero;Null values. Halves round away
// from zero on the fifteen significant digits a double holds.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "db/sqlite/jet_fn.h"
#include "platform/ascii.h"

namespace kestle::db::fn {

bool CopyFormatLiteral(std::string_view pattern, size_t* i, std::string* out) {
  if (pattern[*i] == '\\' && *i + 1 < pattern.size()) {
    *out += pattern[*i + 1];
    *i += 2;
    return true;
  }
  if (pattern[*i] == '"') {
    size_t end = pattern.find('"', *i + 1);
    if (end == std::string_view::npos) end = pattern.size();
    *out += pattern.substr(*i + 1, end - *i - 1);
    *i = end + 1;
    return true;
  }
  return false;
}

namespace {

// The sections of a pattern, split at ";" outside literals.
std::vector<std::string> Sections(std::string_view pattern) {
  std::vector<std::string> sections(1);
  for (size_t i = 0; i < pattern.size();) {
    size_t start = i;
    std::string ignored;
    if (CopyFormatLiteral(pattern, &i, &ignored)) {
      sections.back() += pattern.substr(start, i - start);
    } else if (pattern[i] == ';') {
      sections.emplace_back();
      ++i;
    } else {
      sections.back() += pattern[i++];
    }
  }
  return sections;
}

// `x` (not negative) rounded half away from zero to `decimals` places, as the
// digits before the point (no leading zeros; "" for none) and the `decimals`
// digits after it. Works on the 15 significant digits a double holds.
void DecimalDigits(double x, int decimals, std::string* whole, std::string* fraction) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", x);
  std::string digits;
  for (const char* p = buf; *p && *p != 'e'; ++p) {
    if (ascii::IsDigit(*p)) digits += *p;
  }
  int point = std::atoi(std::strchr(buf, 'e') + 1) + 1;  // digits before the point
  if (x == 0) {
    point = 1;
    digits.assign(1, '0');
  }
  if (point <= 0) {
    digits = std::string(static_cast<size_t>(-point), '0') + digits;
    point = 0;
  }
  size_t cut = point + decimals;
  if (digits.size() <= cut) digits.append(cut + 1 - digits.size(), '0');
  bool up = digits[cut] >= '5';
  digits.resize(cut);
  for (size_t k = cut; up && k-- > 0;) {
    up = digits[k] == '9';
    digits[k] = up ? '0' : static_cast<char>(digits[k] + 1);
  }
  if (up) {
    digits.insert(0, 1, '1');
    ++point;
  }
  *whole = digits.substr(0, point);
  whole->erase(0, std::min(whole->find_first_not_of('0'), whole->size()));
  *fraction = digits.substr(point);
}

// `digits` with a comma between each group of three.
std::string Grouped(const std::string& digits) {
  std::string out;
  for (size_t k = 0; k < digits.size(); ++k) {
    if (k > 0 && (digits.size() - k) % 3 == 0) out += ',';
    out += digits[k];
  }
  return out;
}

// The text of a number without a pattern: up to 15 significant digits, an
// exponent beyond them.
std::string GeneralNumber(double x) {
  if (x == std::trunc(x) && std::fabs(x) < 1e15) return std::to_string(static_cast<int64_t>(x));
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", x);
  std::string text = buf;
  size_t e = text.find('e');
  if (e == std::string::npos) return text;
  // 1e+20 is written 1E+20.
  std::string mantissa = text.substr(0, e);
  int exponent = std::atoi(text.c_str() + e + 1);
  char exp[16];
  std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return mantissa + exp;
}

// One section of a number pattern applied to `x` (not negative).
std::string NumberSection(double x, std::string_view s) {
  // First pass: what the placeholders ask for.
  int whole_zeros = 0, fraction_places = 0, fraction_zeros = 0, exponent_zeros = 0;
  bool point = false, grouping = false, exponent = false, exponent_plus = false;
  int scale_commas = 0, percents = 0;
  bool seen_placeholder = false;
  std::string ignored;
  for (size_t i = 0; i < s.size();) {
    if (CopyFormatLiteral(s, &i, &ignored)) continue;
    char c = s[i];
    if (exponent) {
      if (c == '0' || c == '#') ++exponent_zeros;
    } else if (c == '0' || c == '#') {
      if (point) {
        ++fraction_places;
        if (c == '0') fraction_zeros = fraction_places;
      } else {
        whole_zeros += c == '0';
      }
      if (scale_commas > 0 && !point) grouping = true;
      scale_commas = 0;
      seen_placeholder = true;
    } else if (c == ',' && seen_placeholder && !point) {
      ++scale_commas;
    } else if (c == '.') {
      point = true;
    } else if (c == '%') {
      ++percents;
    } else if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
      exponent = true;
      exponent_plus = s[i + 1] == '+';
      ++i;
    }
    ++i;
  }
  for (int k = 0; k < percents; ++k) x *= 100;
  for (int k = 0; k < scale_commas; ++k) x /= 1000;
  int power = 0;
  if (exponent && x != 0) {
    int whole_places = std::max(whole_zeros, 1);
    power = static_cast<int>(std::floor(std::log10(x))) - (whole_places - 1);
    x /= std::pow(10.0, power);
    std::string w, f;
    DecimalDigits(x, fraction_places, &w, &f);
    if (static_cast<int>(w.size()) > whole_places) {
      x /= 10;
      ++power;
    }
  }
  std::string whole, fraction;
  DecimalDigits(x, fraction_places, &whole, &fraction);
  while (static_cast<int>(fraction.size()) > fraction_zeros && !fraction.empty() &&
         fraction.back() == '0') {
    fraction.pop_back();
  }
  if (static_cast<int>(whole.size()) < whole_zeros)
    whole.insert(0, whole_zeros - whole.size(), '0');
  if (grouping) whole = Grouped(whole);
  // Second pass: the placeholders take the digits, everything else stands.
  std::string out;
  bool whole_written = false, in_fraction = false, exponent_written = false;
  size_t next_fraction = 0;
  for (size_t i = 0; i < s.size();) {
    if (CopyFormatLiteral(s, &i, &out)) continue;
    char c = s[i];
    if ((c == 'E' || c == 'e') && exponent && i + 1 < s.size() &&
        (s[i + 1] == '+' || s[i + 1] == '-')) {
      if (!exponent_written) {
        std::string digits = std::to_string(std::abs(power));
        if (static_cast<int>(digits.size()) < exponent_zeros) {
          digits.insert(0, exponent_zeros - digits.size(), '0');
        }
        out += c;
        out += power < 0 ? "-" : exponent_plus ? "+" : "";
        out += digits;
        exponent_written = true;
      }
      i += 2;
      while (i < s.size() && (s[i] == '0' || s[i] == '#')) ++i;
      continue;
    }
    if (c == '0' || c == '#') {
      if (in_fraction) {
        if (next_fraction < fraction.size()) out += fraction[next_fraction++];
      } else if (!whole_written) {
        out += whole;
        whole_written = true;
      }
    } else if (c == '.') {
      if (!whole_written) out += whole, whole_written = true;
      out += '.';
      in_fraction = true;
    } else if (c != ',') {
      out += c;
    }
    ++i;
  }
  return out;
}

}  // namespace

std::string FormatNumber(double value, std::string_view pattern) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : value < 0 ? "-Inf" : "Inf";
  if (pattern.empty()) return GeneralNumber(value);
  std::vector<std::string> sections = Sections(pattern);
  if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
    return NumberSection(-value, sections[1]);
  }
  if (value == 0 && sections.size() > 2 && !sections[2].empty()) {
    return NumberSection(0, sections[2]);
  }
  std::string text = NumberSection(std::fabs(value), sections[0]);
  return value < 0 ? "-" + text : text;
}

std::optional<std::string> FormatNull(std::string_view pattern) {
  std::vector<std::string> sections = Sections(pattern);
  if (sections.size() < 4) return std::nullopt;
  return NumberSection(0, sections[3]);
}

}  // namespace kestle::db::fn
