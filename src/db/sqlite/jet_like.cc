// The Jet LIKE pattern matcher (see jet_like.h).
#include "db/sqlite/jet_like.h"

#include "db/sqlite/jet_lex.h"

namespace kestle::db {
namespace {

using lex::FoldLower;
using lex::FoldUpper;

// Decodes the UTF-8 character at text[*pos] and advances *pos past it. A byte
// that does not start a valid sequence stands for itself, so that any text can
// be matched.
char32_t NextChar(std::string_view text, size_t* pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char b0 = byte(*pos);
  int len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
  if (len <= 1 || *pos + len > text.size()) {
    ++*pos;
    return b0;
  }
  char32_t c = b0 & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    unsigned char b = byte(*pos + k);
    if ((b & 0xC0) != 0x80) {
      ++*pos;
      return b0;
    }
    c = (c << 6) | (b & 0x3F);
  }
  *pos += len;
  return c;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::optional<JetPattern> JetPattern::Compile(std::string_view pattern) {
  if (pattern.size() > kMaxPatternBytes) return std::nullopt;
  JetPattern p;
  size_t i = 0;
  while (i < pattern.size()) {
    char32_t c = NextChar(pattern, &i);
    Element e(Element::kChar);
    if (c == '*') {
      if (!p.elements_.empty() && p.elements_.back().kind == Element::kAnyRun) continue;
      e.kind = Element::kAnyRun;
    } else if (c == '?') {
      e.kind = Element::kAnyChar;
    } else if (c == '#') {
      e.kind = Element::kDigit;
    } else if (c == '[') {
      size_t close = pattern.find(']', i);
      if (close == std::string_view::npos) return std::nullopt;
      std::string_view body = pattern.substr(i, close - i);
      i = close + 1;
      e.kind = Element::kSet;
      if (!body.empty() && body[0] == '!') {
        e.negated = true;
        body.remove_prefix(1);
      }
      std::vector<char32_t> chars;
      for (size_t k = 0; k < body.size();) chars.push_back(NextChar(body, &k));
      for (size_t k = 0; k < chars.size(); ++k) {
        if (k + 2 < chars.size() && chars[k + 1] == '-') {
          e.ranges.push_back({chars[k], chars[k + 2]});
          k += 2;
        } else {
          e.ranges.push_back({chars[k], chars[k]});
        }
      }
      if (e.ranges.empty()) {
        // "[]" matches the empty text; "[!]" any one character.
        if (!e.negated) continue;
        e = Element(Element::kAnyChar);
      } else if (!e.negated && e.ranges.size() == 1 && e.ranges[0].low == e.ranges[0].high) {
        c = e.ranges[0].low;
        e = Element(Element::kChar);
      }
    }
    if (e.kind == Element::kChar) e.ch = c;
    p.elements_.push_back(std::move(e));
  }
  return p;
}

bool JetPattern::MatchesOne(const Element& e, char32_t c) const {
  switch (e.kind) {
    case Element::kChar:
      return FoldLower(e.ch) == FoldLower(c);
    case Element::kAnyChar:
      return true;
    case Element::kDigit:
      return c >= '0' && c <= '9';
    case Element::kSet: {
      bool in = false;
      for (const Range& r : e.ranges) {
        for (char32_t v : {c, FoldLower(c), FoldUpper(c)}) in = in || (v >= r.low && v <= r.high);
      }
      return in != e.negated;
    }
    case Element::kAnyRun:
      break;
  }
  return false;
}

bool JetPattern::Matches(std::string_view text) const {
  // Greedy matching with one backtrack point: every element but "*" takes
  // exactly one character, so retrying from the last "*" one character further
  // on is enough (linear in practice, never exponential).
  size_t p = 0, t = 0;
  size_t star_p = std::string_view::npos, star_t = 0;
  while (t < text.size()) {
    if (p < elements_.size() && elements_[p].kind == Element::kAnyRun) {
      star_p = p++;
      star_t = t;
      continue;
    }
    size_t next_t = t;
    if (p < elements_.size() && MatchesOne(elements_[p], NextChar(text, &next_t))) {
      ++p;
      t = next_t;
      continue;
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p + 1;
    NextChar(text, &star_t);
    t = star_t;
  }
  while (p < elements_.size() && elements_[p].kind == Element::kAnyRun) ++p;
  return p == elements_.size();
}

std::optional<std::string> JetPattern::LiteralText() const {
  std::string text;
  for (const Element& e : elements_) {
    if (e.kind != Element::kChar) return std::nullopt;
    AppendUtf8(e.ch, &text);
  }
  return text;
}

std::optional<std::string> JetPattern::LiteralPrefix() const {
  std::string text;
  size_t k = 0;
  for (; k < elements_.size() && elements_[k].kind == Element::kChar; ++k) {
    AppendUtf8(elements_[k].ch, &text);
  }
  if (text.empty() || k + 1 != elements_.size() || elements_[k].kind != Element::kAnyRun) {
    return std::nullopt;
  }
  return text;
}

}  // namespace kestle::db
