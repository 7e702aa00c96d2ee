// ASCII text helpers: case folding, character classes and quote doubling.
//
// Names, keywords and date words in Kestle compare without regard to the case
// of ASCII letters only, whatever the process locale, so every fold and class
// test goes through here rather than through <cctype>.
#ifndef KESTLE_PLATFORM_ASCII_H_
#define KESTLE_PLATFORM_ASCII_H_

#include <string>
#include <string_view>

namespace kestle::ascii {

// The ASCII letter `c` in lower (upper) case; any other character as it is.
constexpr char32_t FoldLower(char32_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
constexpr char32_t FoldUpper(char32_t c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }
constexpr char FoldLower(char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
constexpr char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAlpha(char c) { return FoldLower(c) >= 'a' && FoldLower(c) <= 'z'; }
constexpr bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }
constexpr bool IsXDigit(char c) {
  return IsDigit(c) || (FoldLower(c) >= 'a' && FoldLower(c) <= 'f');
}
constexpr bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
// Blank, tab, and the line and page breaks.
constexpr bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// `text` with its ASCII letters in lower (upper) case.
std::string Lower(std::string_view text);
std::string Upper(std::string_view text);

// True when `a` and `b` are equal but for the case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);
// Orders `a` before `b` as their lower-case forms would be ordered.
bool LessNoCase(std::string_view a, std::string_view b);

// `text` with every `quote` character doubled, the escape of a delimiter
// inside SQL and VBA quoted text ("O'Brien" -> "O''Brien").
std::string DoubledQuotes(std::string_view text, char quote);
// `text` between two `quote` characters, those inside it doubled: an SQL
// text literal with '\'', an SQL quoted identifier with '"'.
std::string Enclosed(std::string_view text, char quote);

}  // namespace kestle::ascii

#endif  // KESTLE_PLATFORM_ASCII_H_
