// ASCII text helpers (see ascii.h).
#include "platform/ascii.h"

#include <algorithm>

namespace kestle::ascii {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldLower(c);
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldUpper(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldLower(x) == FoldLower(y);
         });
}

bool LessNoCase(std::string_view a, std::string_view b) {
  // Compared as unsigned bytes, so that UTF-8 text orders after ASCII.
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldLower(x)) < static_cast<unsigned char>(FoldLower(y));
  });
}

std::string DoubledQuotes(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  return out;
}

std::string Enclosed(std::string_view text, char quote) {
  return quote + DoubledQuotes(text, quote) + quote;
}

}  // namespace kestle::ascii
