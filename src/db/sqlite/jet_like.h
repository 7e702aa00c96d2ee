// The Jet LIKE pattern matcher: Jet's wildcards and character sets, matched
// over UTF-8 text with ASCII case folding.
#ifndef KESTLE_DB_SQLITE_JET_LIKE_H_
#define KESTLE_DB_SQLITE_JET_LIKE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestle::db {

// A compiled Jet LIKE pattern: `*` any run of characters, `?` one character,
// `#` one digit, `[abc]`, `[!abc]`, `[a-z]` one character of (or not of) a set;
// `[*]`, `[?]`, `[#]`, `[[]` stand for the character itself. Letters match
// without regard to case (ASCII).
class JetPattern {
 public:
  // The longest pattern accepted, in bytes. Matching costs up to the text's
  // length times the pattern's, so a hostile pattern over a long text is
  // bounded by refusing longer patterns (SQLite caps its own LIKE patterns
  // for the same reason).
  static constexpr size_t kMaxPatternBytes = 1024;

  // Compiles `pattern` (UTF-8). Returns nothing for an unclosed "[" or a
  // pattern longer than kMaxPatternBytes.
  static std::optional<JetPattern> Compile(std::string_view pattern);

  // True when `text` (UTF-8) matches the whole pattern.
  bool Matches(std::string_view text) const;

  // The text the pattern matches when it has no wildcard at all.
  std::optional<std::string> LiteralText() const;
  // The fixed beginning when the pattern is that text followed by "*" only
  // (more than one "*" included); nothing otherwise or when it is empty.
  std::optional<std::string> LiteralPrefix() const;

 private:
  struct Range {
    char32_t low;
    char32_t high;
  };
  struct Element {
    enum Kind { kChar, kAnyRun, kAnyChar, kDigit, kSet };
    explicit Element(Kind k) : kind(k) {}
    Kind kind;
    char32_t ch = 0;            // kChar, as written
    bool negated = false;       // kSet
    std::vector<Range> ranges;  // kSet, as written
  };
  // True when the one-character element `e` accepts `c`.
  bool MatchesOne(const Element& e, char32_t c) const;
  std::vector<Element> elements_;
};

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_JET_LIKE_H_
