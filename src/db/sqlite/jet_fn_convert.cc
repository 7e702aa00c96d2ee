// The Jet conversion functions: CBool, CByte, CCur, CDate, CDbl, CInt, CLng,
// CSng, CStr, CVar, Val, Str, Hex, Oct, Asc, AscW, Chr and ChrW. The C...
// functions refuse Null (Invalid use of Null) and round to whole numbers half
// to even; Str, Hex and Oct pass Null through.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/ascii.h"

namespace kestle::db::fn {

namespace {

// The characters of Windows code page 1252 at 0x80..0x9F, where it differs
// from Latin-1; Asc and Chr speak that code page.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
constexpr int kUnmappableCode = '?';

// Converts the argument to a whole number within [lo, hi] and returns it.
void WholeResult(sqlite3_context* ctx, sqlite3_value* v, double lo, double hi) {
  int64_t n = 0;
  if (RequireWhole(ctx, v, &n, lo, hi)) sqlite3_result_int64(ctx, n);
}

// Hex and Oct: the digits of the whole number in base 16 or 8; a negative
// number as its two's complement in 16 bits when it fits an Integer, else 32.
void RadixText(sqlite3_context* ctx, sqlite3_value* v, bool hex) {
  if (IsNull(v)) return;
  int64_t n = 0;
  if (!RequireWhole(ctx, v, &n)) return;
  uint32_t bits = n >= 0        ? static_cast<uint32_t>(n)
                  : n >= -32768 ? static_cast<uint16_t>(n)
                                : static_cast<uint32_t>(n);
  char buf[16];
  std::snprintf(buf, sizeof buf, hex ? "%X" : "%o", bits);
  ResultText(ctx, buf);
}

// The code of the first character of the text; Windows-1252's when `ansi`.
void FirstCode(sqlite3_context* ctx, sqlite3_value* v, bool ansi) {
  if (IsNull(v)) return (void)Fail(ctx, kInvalidUseOfNullText);
  std::string buffer;
  std::u32string chars = Decode(TextOf(v, &buffer));
  if (chars.empty()) return (void)Fail(ctx, kInvalidArgumentText);
  char32_t c = chars[0];
  int code = static_cast<int>(c);
  if (ansi && c >= 0x80) {
    code = kUnmappableCode;
    if (c >= 0xA0 && c <= 0xFF) code = static_cast<int>(c);
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == c) code = 0x80 + k;
    }
  }
  sqlite3_result_int(ctx, code);
}

// The character of a code; Windows-1252's (0..255) when `ansi`.
void CodeChar(sqlite3_context* ctx, sqlite3_value* v, bool ansi) {
  int64_t code = 0;
  if (!RequireWhole(ctx, v, &code)) return;
  if (code < 0 || code > (ansi ? 255 : 65535)) return (void)Fail(ctx, kInvalidArgumentText);
  char32_t c = static_cast<char32_t>(code);
  if (ansi && c >= 0x80 && c < 0xA0) c = kCp1252High[c - 0x80];
  ResultText(ctx, Encode(std::u32string(1, c)));
}

}  // namespace

void CBool(sqlite3_context* ctx, int, sqlite3_value** argv) {
  bool b = false;
  Got got = ReadTruth(ctx, argv[0], &b);
  if (got == Got::kNull) return (void)Fail(ctx, kInvalidUseOfNullText);
  if (got == Got::kValue) ResultBool(ctx, b);
}

void CByte(sqlite3_context* ctx, int, sqlite3_value** argv) { WholeResult(ctx, argv[0], 0, 255); }
void CInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  WholeResult(ctx, argv[0], -32768, 32767);
}
void CLng(sqlite3_context* ctx, int, sqlite3_value** argv) {
  WholeResult(ctx, argv[0], -2147483648.0, 2147483647.0);
}

void CCur(sqlite3_context* ctx, int, sqlite3_value** argv) {
  constexpr double kCurrencyScale = 10000;  // four decimals
  constexpr double kCurrencyLimit = 922337203685477.5807;
  double d = 0;
  if (!RequireNumber(ctx, argv[0], &d)) return;
  double scaled = std::nearbyint(d * kCurrencyScale) / kCurrencyScale;
  if (!(std::fabs(scaled) <= kCurrencyLimit)) return (void)Fail(ctx, kOverflowText);
  sqlite3_result_double(ctx, scaled);
}

void CDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Date date = 0;
  Got got = ReadDate(ctx, argv[0], &date);
  if (got == Got::kNull) return (void)Fail(ctx, kInvalidUseOfNullText);
  if (got == Got::kValue && CheckDateRange(ctx, date)) ResultDate(ctx, date);
}

void CDbl(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double d = 0;
  if (RequireNumber(ctx, argv[0], &d)) sqlite3_result_double(ctx, d);
}

void CSng(sqlite3_context* ctx, int, sqlite3_value** argv) {
  constexpr double kSingleLimit = 3.402823466e38;
  double d = 0;
  if (!RequireNumber(ctx, argv[0], &d)) return;
  if (std::fabs(d) > kSingleLimit) return (void)Fail(ctx, kOverflowText);
  // A Single holds seven significant digits.
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", d);
  sqlite3_result_double(ctx, std::strtod(buf, nullptr));
}

void CStr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return (void)Fail(ctx, kInvalidUseOfNullText);
  std::string buffer;
  ResultText(ctx, TextOf(argv[0], &buffer));
}

void CVar(sqlite3_context* ctx, int, sqlite3_value** argv) { sqlite3_result_value(ctx, argv[0]); }

void Val(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return (void)Fail(ctx, kInvalidUseOfNullText);
  std::string buffer, text;
  // Blanks, tabs and line feeds count for nothing, wherever they stand.
  for (char c : TextOf(argv[0], &buffer)) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') text += c;
  }
  if (text.size() > 1 && text[0] == '&') {
    size_t end = 2;
    int radix = ascii::FoldUpper(text[1]) == 'H' ? 16 : 8;
    while (end < text.size() && ascii::IsXDigit(text[end]) &&
           (radix == 16 || (text[end] >= '0' && text[end] <= '7'))) {
      ++end;
    }
    std::optional<double> d = ParseNumberText(text.substr(0, end));
    sqlite3_result_double(ctx, d ? *d : 0);
    return;
  }
  // The longest start that reads as a number: sign, digits, point, exponent.
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && ascii::IsDigit(text[i])) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && ascii::IsDigit(text[i])) ++i;
  }
  std::string number = text.substr(0, i);
  if (i < text.size() && std::strchr("eEdD", text[i]) != nullptr) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    size_t digits = j;
    while (j < text.size() && ascii::IsDigit(text[j])) ++j;
    if (j > digits) number += "e" + text.substr(i + 1, j - i - 1);
  }
  sqlite3_result_double(ctx, std::strtod(number.c_str(), nullptr));
}

void Str(sqlite3_context* ctx, int, sqlite3_value** argv) {
  double d = 0;
  if (ReadNumber(ctx, argv[0], &d) != Got::kValue) return;
  std::string text = FormatNumber(d, "");
  // A leading blank holds the place of the sign, and a fraction has no
  // zero before its point.
  if (text.starts_with("0.")) text.erase(0, 1);
  if (text.starts_with("-0.")) text.erase(1, 1);
  ResultText(ctx, d < 0 ? text : " " + text);
}

void Hex(sqlite3_context* ctx, int, sqlite3_value** argv) { RadixText(ctx, argv[0], true); }
void Oct(sqlite3_context* ctx, int, sqlite3_value** argv) { RadixText(ctx, argv[0], false); }
void Asc(sqlite3_context* ctx, int, sqlite3_value** argv) { FirstCode(ctx, argv[0], true); }
void AscW(sqlite3_context* ctx, int, sqlite3_value** argv) { FirstCode(ctx, argv[0], false); }
void Chr(sqlite3_context* ctx, int, sqlite3_value** argv) { CodeChar(ctx, argv[0], true); }
void ChrW(sqlite3_context* ctx, int, sqlite3_value** argv) { CodeChar(ctx, argv[0], false); }

}  // namespace kestle::db::fn
