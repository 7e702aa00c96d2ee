// The plain-run scan on x86-64 (SkipPlainLines, tab_scan.h), over the lanes
// of lanes_x86.h. Runs of plain lines are first passed over in blocks, with
// one branch a block, and only the block that ends a run is taken apart
// with the lanes' 64-bit masks.
#include "iif/lanes_x86.h"

namespace kestle::iif::x86 {
namespace {

// The offset after the last LF among p[from, end - 1), or `from` when
// there is none; p[0, end) is readable, with end at least 65.
template <class Lanes>
inline size_t AfterLastLineFeed(const char* p, size_t from, size_t end) {
  for (size_t e = end - 1; e > from; e = e > 64 ? e - 64 : 0) {
    size_t lo = e > 64 ? e - 64 : 0;
    uint64_t lfs = Lanes::Equal(p + lo, '\n') & (~uint64_t{0} >> (64 - (e - lo)));
    if (lfs != 0) return lo + HighestBit(lfs) + 1;
  }
  return from;
}

// For SkipPlainLinesWith at chunk c of the n bytes at p (c at least 64),
// with *start and after_lf its state there: the offset of the first chunk
// that the blocks of Lanes::PassPlainBlocks do not pass, with *start moved
// to the start of the line the scan is in before it.
template <class Lanes>
inline size_t PassPlainRun(const char* p, size_t n, size_t c, bool after_lf, size_t* start) {
  // The blocks test the line starts after their LFs, so the one at c is
  // tested here.
  if (after_lf && MayStartListLineAt(p + c) != 0) return c;
  // The last block ends two bytes before the text does (the first two
  // bytes of a line starting after it are read), and early enough that no
  // chunk in it could end a line too long to skip: the line the scan is in
  // started at or after *start.
  size_t end = Lanes::PassPlainBlocks(p, c, std::min(n - 2, *start + kPlainLineLimit - 65));
  if (end != c) *start = AfterLastLineFeed<Lanes>(p, *start, end);
  return end;
}

// SkipPlainLines over the given lanes.
template <class Lanes>
inline size_t SkipPlainLinesWith(std::string_view text) {
  constexpr size_t kGoOn = std::string_view::npos;
  const char* p = text.data();
  size_t n = text.size();
  if (n < 65) return 0;
  // The bytes before the first chunk's: the text starts at a line start, so
  // the byte before it counts as no CR.
  char first_before[64] = {0};
  std::memcpy(first_before + 1, p, 63);
  size_t start = 0;       // start of the line the scan is in
  uint64_t after_lf = 1;  // the byte before the chunk is a LF (or the text starts there)
  size_t c = 0;
  // Tests the chunk at c and moves the state past it; returns the length
  // of the prefix when the run ends there, else kGoOn. A line start's first
  // two bytes are read, so a chunk also needs the byte after it.
  auto test_chunk = [&]() -> size_t {
    const char* q = p + c;
    const char* before_q = c == 0 ? first_before : q - 1;
    // A line end other than CR LF next to byte i: a LF without a CR before
    // it, or a byte after a CR that is not a LF. Such a chunk is rare, so
    // the mask of them is only made when the vector test finds one.
    bool any_odd;
    uint64_t lfs = Lanes::LineFeeds(q, before_q, &any_odd);
    uint64_t odd = any_odd ? Lanes::Equal(before_q, '\r') ^ lfs : 0;
    uint64_t starts = lfs << 1 | after_lf;
    uint64_t listy = Lanes::ListStarts(q, starts);
    if ((odd | listy) != 0) {
      // Stop at the start of the line holding the first byte that stops
      // the run: byte i - 1 for an odd line end at bit i (the CR, or the
      // byte before the lone LF, in the previous chunk when i is 0), byte i
      // for a list line starting at bit i. `limit` is one past it.
      int limit = std::min(std::countr_zero(odd), std::countr_zero(listy) + 1);
      uint64_t before = limit == 0 ? 0 : starts & (~uint64_t{0} >> (64 - limit));
      return before != 0 ? c + HighestBit(before) : start;
    }
    if (starts != 0) start = c + HighestBit(starts);
    // The next chunk could end a line too long to skip.
    if (c + 128 - start >= kPlainLineLimit) return start;
    after_lf = lfs >> 63;
    return kGoOn;
  };
  for (; c + 65 <= n && c < Lanes::kChunksBeforeBlocks; c += 64) {
    if (size_t prefix = test_chunk(); prefix != kGoOn) return prefix;
  }
  // Blocks that the chunk test would pass are passed with a branch each;
  // the block that stops them is left to the chunk test, which finds where
  // in it the run ends.
  for (size_t blocks_from = c; c + 65 <= n; c += 64) {
    if (c >= blocks_from) {
      size_t from = c;
      c = PassPlainRun<Lanes>(p, n, c, after_lf != 0, &start);
      blocks_from = c + Lanes::kPlainBlock;
      if (c != from) {
        after_lf = p[c - 1] == '\n';
        if (c + 65 > n) break;
      }
    }
    if (size_t prefix = test_chunk(); prefix != kGoOn) return prefix;
  }
  // A CR ending the last chunk has not been checked: its line is left out.
  return after_lf != 0 ? c : start;
}

}  // namespace

// `flatten` makes the wide instance one body, compiled for the wide
// instructions throughout.
size_t SkipPlainLinesNarrow(std::string_view text) { return SkipPlainLinesWith<NarrowLanes>(text); }
KESTLE_WIDE_LANES __attribute__((flatten)) size_t SkipPlainLinesWide(std::string_view text) {
  return SkipPlainLinesWith<WideLanes>(text);
}

}  // namespace kestle::iif::x86
