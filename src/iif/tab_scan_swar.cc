// TAB scans eight bytes at a time in a 64-bit word, for any processor.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "iif/row_runs.h"
#include "iif/tab_scan.h"

namespace kestle::iif {
namespace {

constexpr char kTab = '\t';

// The high bit of each byte of `x` that is zero, and no other bit. Exact: no
// carry crosses from one byte into the next.
inline uint64_t ZeroBytes(uint64_t x) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// The TABs among the eight bytes at `p`, as ZeroBytes marks them.
inline uint64_t TabBytes(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return ZeroBytes(word ^ 0x0909090909090909ULL);
}

// Number of bytes that ZeroBytes marked in `marks`. A multiply adds the eight
// mark bits up in the top byte; it beats std::popcount, which is a library
// call unless the build targets one processor model.
inline size_t MarkCount(uint64_t marks) {
  return static_cast<size_t>(((marks >> 7) * 0x0101010101010101ULL) >> 56);
}

// Eight bytes are tested at a time where the byte order lets a bit index name
// the byte (little-endian); elsewhere the byte loops do all the work.
constexpr bool kWordScan = std::endian::native == std::endian::little;

}  // namespace

size_t FindLineEnd(std::string_view text) {
  const char* p = text.data();
  size_t n = text.size();
  size_t i = 0;
  if constexpr (kWordScan) {
    for (; i + 8 <= n; i += 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      uint64_t hits =
          ZeroBytes(word ^ 0x0D0D0D0D0D0D0D0DULL) | ZeroBytes(word ^ 0x0A0A0A0A0A0A0A0AULL);
      if (hits != 0) return i + std::countr_zero(hits) / 8;
    }
  }
  for (; i < n; ++i) {
    if (p[i] == '\r' || p[i] == '\n') return i;
  }
  return n;
}

ScanChoice UseScans(ScanChoice) { return ScanChoice::kBest; }

size_t FindKeywordEnd(std::string_view text, size_t limit) {
  limit = std::min(limit, text.size());
  for (size_t i = 0; i < limit; ++i) {
    if (text[i] == kTab || text[i] == '\r' || text[i] == '\n') return i;
  }
  return limit;
}

size_t SkipPlainLines(std::string_view text) {
  size_t pos = 0;
  while (text.size() - pos >= 2 && !MayStartListLine(text[pos], text[pos + 1])) {
    std::string_view rest = text.substr(pos, kPlainLineLimit + 1);
    size_t end = FindLineEnd(rest);
    if (end >= kPlainLineLimit || end + 1 >= rest.size() || rest[end] != '\r' ||
        rest[end + 1] != '\n') {
      break;
    }
    pos += end + 2;
  }
  return pos;
}

size_t CountTabs(std::string_view text) {
  const char* p = text.data();
  size_t n = text.size();
  size_t i = 0;
  size_t tabs = 0;
  if constexpr (kWordScan) {
    for (; i + 8 <= n; i += 8) tabs += MarkCount(TabBytes(p + i));
  }
  for (; i < n; ++i) tabs += p[i] == kTab;
  return tabs;
}

int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                size_t* line_end) {
  // The line end is found first; the vector build fuses the two scans.
  *line_end = FindLineEnd(text);
  const char* p = text.data();
  size_t n = *line_end;
  int j = 0;
  int field = 1;
  if (count > 0 && targets[0] <= 1) starts[j++] = 0;
  size_t i = 0;
  if constexpr (kWordScan) {
    for (; j < count && i + 8 <= n; i += 8) {
      uint64_t hits = TabBytes(p + i);
      // Words before the one holding the next target are only counted: a
      // branch that rarely changes its mind, unlike a loop over the TABs.
      int tabs = static_cast<int>(MarkCount(hits));
      if (field + tabs < targets[j]) {
        field += tabs;
        continue;
      }
      for (; hits != 0; hits &= hits - 1) {
        if (++field == targets[j]) {
          starts[j] = i + std::countr_zero(hits) / 8 + 1;
          if (++j == count) return field;
        }
      }
    }
  }
  for (; j < count && i < n; ++i) {
    if (p[i] == kTab && ++field == targets[j]) starts[j++] = i + 1;
  }
  for (; j < count; ++j) starts[j] = std::string_view::npos;
  return field;
}

namespace {

// The row cutter's scan and copy: pieces go eight bytes at a time.
struct WordRowScan {
  static int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                         size_t* line_end) {
    return iif::FieldStarts(text, targets, count, starts, line_end);
  }
  static void Copy(char* to, const char* from, size_t n) {
    for (size_t i = 0; i < n; i += 8) std::memcpy(to + i, from + i, 8);
  }
};

}  // namespace

RowsCut CutRows(const RowShape& shape, std::string_view keyword, std::string_view text, bool final,
                char* out, size_t room) {
  return internal::CutRowsWith<WordRowScan>(shape, keyword, text, final, out, room);
}

}  // namespace kestle::iif
