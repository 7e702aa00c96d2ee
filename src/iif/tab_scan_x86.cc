// The byte scans on x86-64. Sixteen bytes at a time with the SSE2
// instructions that every such processor has; the two scans that a file's
// conversion spends most of its time in, the runs of plain lines and a
// row's field starts, go thirty-two bytes at a time with AVX2 (and the bit
// instructions that come with it) on processors that have them, chosen once
// when the program starts. Those two are written once, over a Lanes type
// that builds the 64-bit masks of a 64-byte chunk from either width. Runs
// of plain lines are first passed over in blocks, with one branch a block,
// and only the block that ends a run is taken apart with those masks.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "iif/tab_scan.h"

namespace kestle::iif {
namespace {

constexpr char kTab = '\t';

// The instructions of the wide lanes: a function that uses them carries
// this target, and is only called when the processor has them.
#define KESTLE_WIDE_LANES __attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt")))

// Number of set bits of `x` in a few word operations, for processors
// without the population-count instruction.
inline int WordBitCount(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555ULL;
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
}

// kSelectInByte[v][r]: the index of set bit number r (from 0) of the byte v,
// or 8 when v has no more than r set bits.
constexpr std::array<std::array<uint8_t, 8>, 256> kSelectInByte = [] {
  std::array<std::array<uint8_t, 8>, 256> table{};
  for (int v = 0; v < 256; ++v) {
    int r = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (v >> bit & 1) table[v][r++] = static_cast<uint8_t>(bit);
    }
    for (; r < 8; ++r) table[v][r] = 8;
  }
  return table;
}();

// Index of set bit number k (from 0) of `x`, which has more than k set bits,
// without a loop over the bits before it: the byte that holds it is found
// from the running sums of the bytes' bit counts, the bit from a table.
inline int SelectBit(uint64_t x, int k) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  uint64_t counts = x - ((x >> 1) & 0x5555555555555555ULL);
  counts = (counts & 0x3333333333333333ULL) + ((counts >> 2) & 0x3333333333333333ULL);
  counts = (counts + (counts >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  uint64_t sums = counts * kOnes;  // byte i: set bits in bytes 0 to i
  // The bytes whose running sum is at most k come first and hold none of
  // bit k: their number is the byte that does.
  uint64_t before = ((static_cast<uint64_t>(k) * kOnes | kHighs) - sums) & kHighs;
  int byte = static_cast<int>(((before >> 7) * kOnes) >> 56);
  int rank = k - static_cast<int>((sums << 8) >> (8 * byte) & 0xFF);
  return 8 * byte + kSelectInByte[(x >> (8 * byte)) & 0xFF][rank];
}

// Up to this many set bits are dropped one at a time rather than selected
// past.
constexpr int kStepsBeforeSelect = 3;

// Index of the highest set bit of `bits`, which is not zero.
inline size_t HighestBit(uint64_t bits) { return 63 - std::countl_zero(bits); }

// MayStartListLine for the line starting at `p`, as a bit.
inline uint64_t MayStartListLineAt(const char* p) { return MayStartListLine(p[0], p[1]); }

// Sixteen-byte lanes. Each mask covers the 64 bytes at `p`, bit i for p[i].
struct NarrowLanes {
  static uint64_t Equal(const char* p, char c) {
    const __m128i wanted = _mm_set1_epi8(c);
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      mask |= static_cast<uint64_t>(
                  static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted))))
              << (16 * k);
    }
    return mask;
  }

  // CRs and LFs.
  static uint64_t LineEnds(const char* p) { return Equal(p, '\r') | Equal(p, '\n'); }

  // The LFs; sets *odd when some byte i is a LF without a CR at before[i],
  // or is no LF but has one there (`before` is the bytes before p's).
  static uint64_t LineFeeds(const char* p, const char* before, bool* odd) {
    const __m128i crs = _mm_set1_epi8('\r');
    const __m128i lfs = _mm_set1_epi8('\n');
    __m128i odd_any = _mm_setzero_si128();
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      __m128i prior = _mm_loadu_si128(reinterpret_cast<const __m128i*>(before + 16 * k));
      __m128i lf = _mm_cmpeq_epi8(bytes, lfs);
      odd_any = _mm_or_si128(odd_any, _mm_xor_si128(lf, _mm_cmpeq_epi8(prior, crs)));
      mask |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(lf))) << (16 * k);
    }
    *odd = _mm_movemask_epi8(odd_any) != 0;
    return mask;
  }

  // The line starts among `starts` whose first two bytes MayStartListLine.
  // A chunk holds a line start or two: those are tested without a branch (an
  // absent start tests byte 63, whose answer the mask then drops), any more
  // in a loop.
  static uint64_t ListStarts(const char* p, uint64_t starts) {
    uint64_t listy = 0;
    uint64_t s = starts;
    for (int k = 0; k < 2; ++k) {
      int at = std::countr_zero(s | uint64_t{1} << 63);
      listy |= (MayStartListLineAt(p + at) & s >> at) << at;
      s &= s - 1;
    }
    for (; s != 0; s &= s - 1) {
      listy |= MayStartListLineAt(p + std::countr_zero(s)) << std::countr_zero(s);
    }
    return listy;
  }

  // Bytes of the blocks that PassPlainBlocks tests at once, and of a run
  // of plain lines that is tested chunk by chunk before blocks are tried.
  static constexpr size_t kPlainBlock = 64;
  static constexpr size_t kChunksBeforeBlocks = 64;

  // As WideLanes::PassPlainBlocks, with the line ends tested a chunk at a
  // time and each line after a LF by its first two bytes.
  static size_t PassPlainBlocks(const char* p, size_t c, size_t end) {
    for (; c + kPlainBlock <= end; c += kPlainBlock) {
      bool odd;
      uint64_t lfs = LineFeeds(p + c, p + c - 1, &odd);
      uint64_t stops = odd;
      for (; lfs != 0; lfs &= lfs - 1)
        stops |= MayStartListLineAt(p + c + std::countr_zero(lfs) + 1);
      if (stops != 0) break;
    }
    return c;
  }

  static int BitCount(uint64_t x) { return WordBitCount(x); }

  // Index of set bit number k of `x`: the first few set bits are dropped
  // one at a time, a far one is selected past.
  static int SelectBit(uint64_t x, int k) {
    if (k > kStepsBeforeSelect) return kestle::iif::SelectBit(x, k);
    for (; k > 0; --k) x &= x - 1;
    return std::countr_zero(x);
  }
};

// Thirty-two-byte lanes, for processors with AVX2.
struct WideLanes {
  KESTLE_WIDE_LANES static uint64_t Mask(__m256i lo, __m256i hi) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(lo)) |
           static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(hi))) << 32;
  }
  KESTLE_WIDE_LANES static __m256i Load(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }

  KESTLE_WIDE_LANES static uint64_t Equal(const char* p, char c) {
    const __m256i wanted = _mm256_set1_epi8(c);
    return Mask(_mm256_cmpeq_epi8(Load(p), wanted), _mm256_cmpeq_epi8(Load(p + 32), wanted));
  }

  KESTLE_WIDE_LANES static uint64_t LineEnds(const char* p) {
    const __m256i crs = _mm256_set1_epi8('\r');
    const __m256i lfs = _mm256_set1_epi8('\n');
    __m256i lo = Load(p);
    __m256i hi = Load(p + 32);
    return Mask(_mm256_or_si256(_mm256_cmpeq_epi8(lo, crs), _mm256_cmpeq_epi8(lo, lfs)),
                _mm256_or_si256(_mm256_cmpeq_epi8(hi, crs), _mm256_cmpeq_epi8(hi, lfs)));
  }

  KESTLE_WIDE_LANES static uint64_t LineFeeds(const char* p, const char* before, bool* odd) {
    const __m256i crs = _mm256_set1_epi8('\r');
    const __m256i lfs = _mm256_set1_epi8('\n');
    __m256i lf_lo = _mm256_cmpeq_epi8(Load(p), lfs);
    __m256i lf_hi = _mm256_cmpeq_epi8(Load(p + 32), lfs);
    __m256i odd_any =
        _mm256_or_si256(_mm256_xor_si256(lf_lo, _mm256_cmpeq_epi8(Load(before), crs)),
                        _mm256_xor_si256(lf_hi, _mm256_cmpeq_epi8(Load(before + 32), crs)));
    *odd = !_mm256_testz_si256(odd_any, odd_any);
    return Mask(lf_lo, lf_hi);
  }

  // The first bytes of the list keywords, '!', 'C', 'E', 'V' and 'I', have
  // the low nibbles 1, 3, 5, 6 and 9: a table lookup by low nibble gives the
  // one such byte that a byte can be.
  KESTLE_WIDE_LANES static __m256i ListFirstBytes(const char* p) {
    const __m256i firsts =
        _mm256_setr_epi8(0, '!', -1, 'C', -1, 'E', 'V', -1, -1, 'I', -1, -1, -1, -1, -1, -1,  //
                         0, '!', -1, 'C', -1, 'E', 'V', -1, -1, 'I', -1, -1, -1, -1, -1, -1);
    __m256i bytes = Load(p);
    __m256i nibbles = _mm256_and_si256(bytes, _mm256_set1_epi8(0x0F));
    return _mm256_cmpeq_epi8(bytes, _mm256_shuffle_epi8(firsts, nibbles));
  }

  // Starts with such a first byte are few (ENDTRNS lines, mostly) and get
  // their second byte tested one by one.
  KESTLE_WIDE_LANES static uint64_t ListStarts(const char* p, uint64_t starts) {
    uint64_t firsts = Mask(ListFirstBytes(p), ListFirstBytes(p + 32)) & starts;
    uint64_t listy = 0;
    for (; firsts != 0; firsts &= firsts - 1) {
      int at = std::countr_zero(firsts);
      listy |= MayStartListLineAt(p + at) << at;
    }
    return listy;
  }

  // Bytes of the blocks that PassPlainBlocks tests at once, and of a run
  // of plain lines that is tested chunk by chunk before blocks are tried:
  // a shorter run would not win back what trying the blocks costs.
  static constexpr size_t kPlainBlock = 256;
  static constexpr size_t kChunksBeforeBlocks = 768;

  // Byte i of the result is not zero when q[i] is a LF without a CR before
  // it, or is no LF but has a CR before it, or is a LF followed by a line
  // that may start like a list keyword; reads q[-1] to q[33]. That last
  // test looks at the line's second byte only (and at '!' as its first):
  // the one that follows each keyword's first byte in the lists' keywords,
  // 'IN', 'CU', 'VE' and 'EM', has a low nibble of its own (9, 3, 6, 5), so
  // a table lookup by the first byte's low nibble gives the second byte to
  // look for. A few other pairs, such as 'SU' or 'FE', pass too; the lines
  // of IIF files start with other keywords, and a block stopped by such a
  // line is tested again exactly.
  KESTLE_WIDE_LANES static __m256i PlainStops(const char* q) {
    const __m256i seconds =
        _mm256_setr_epi8(-1, -1, -1, 'U', -1, 'M', 'E', -1, -1, 'N', -1, -1, -1, -1, -1, -1,  //
                         -1, -1, -1, 'U', -1, 'M', 'E', -1, -1, 'N', -1, -1, -1, -1, -1, -1);
    __m256i lf = _mm256_cmpeq_epi8(Load(q), _mm256_set1_epi8('\n'));
    __m256i odd = _mm256_xor_si256(lf, _mm256_cmpeq_epi8(Load(q - 1), _mm256_set1_epi8('\r')));
    // The lookup takes the low nibble of a byte below 0x80 (and gives 0
    // for one from 0x80 up), so the first bytes need no mask.
    __m256i first = Load(q + 1);
    __m256i listy =
        _mm256_or_si256(_mm256_cmpeq_epi8(Load(q + 2), _mm256_shuffle_epi8(seconds, first)),
                        _mm256_cmpeq_epi8(first, _mm256_set1_epi8('!')));
    return _mm256_or_si256(odd, _mm256_and_si256(lf, listy));
  }

  // The offset of the first block, from `c` on and ending at or before
  // `end`, for which PlainStops finds a byte; or of the one after the last
  // that ends there. The first blocks are 64 bytes, so that a run that ends
  // soon wastes less on the block that stops it, the others kPlainBlock
  // bytes. Reads p[c - 1] to p[end + 1]. Each block costs one branch.
  KESTLE_WIDE_LANES static size_t PassPlainBlocks(const char* p, size_t c, size_t end) {
    for (size_t k = 0; k < kPlainBlock / 64 - 1 && c + 64 <= end; ++k, c += 64) {
      if (_mm256_movemask_epi8(_mm256_or_si256(PlainStops(p + c), PlainStops(p + c + 32))) != 0) {
        return c;
      }
    }
    for (; c + kPlainBlock <= end; c += kPlainBlock) {
      const char* q = p + c;
      __m256i stops = _mm256_or_si256(PlainStops(q), PlainStops(q + 32));
      // Unrolled further, the steps' lookups are hoisted ahead and spilled.
#pragma GCC unroll 1
      for (size_t k = 64; k < kPlainBlock; k += 64) {
        stops = _mm256_or_si256(stops, _mm256_or_si256(PlainStops(q + k), PlainStops(q + k + 32)));
      }
      // The bytes of `stops` are 0 or 0xFF.
      if (_mm256_movemask_epi8(stops) != 0) break;
    }
    return c;
  }

  KESTLE_WIDE_LANES static int BitCount(uint64_t x) { return std::popcount(x); }

  // Index of set bit number k of `x`: the bit deposit puts a single bit at
  // the place of x's set bit number k.
  KESTLE_WIDE_LANES static int SelectBit(uint64_t x, int k) {
    return std::countr_zero(_pdep_u64(uint64_t{1} << k, x));
  }
};

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

// FieldStarts over the given lanes.
template <class Lanes>
inline int FieldStartsWith(std::string_view text, const int* targets, int count, size_t* starts,
                           size_t* line_end) {
  const char* p = text.data();
  size_t n = text.size();
  int j = 0;
  int field = 1;
  if (count > 0 && targets[0] <= 1) starts[j++] = 0;
  size_t i = 0;
  *line_end = n;
  for (; i + 64 <= n; i += 64) {
    uint64_t ends = Lanes::LineEnds(p + i);
    if (j < count) {
      uint64_t hits = Lanes::Equal(p + i, kTab) & ((ends & -ends) - 1);
      // Field `field` + r + 1 starts after TAB number r of the chunk.
      int found = Lanes::BitCount(hits);
      for (int r; j < count && (r = targets[j] - field - 1) < found; ++j) {
        starts[j] = i + Lanes::SelectBit(hits, r) + 1;
      }
      field = j == count ? targets[count - 1] : field + found;
    }
    if (ends != 0) {
      *line_end = i + std::countr_zero(ends);
      break;
    }
  }
  if (i + 64 > n) {
    for (; i < n; ++i) {
      if (p[i] == '\r' || p[i] == '\n') {
        *line_end = i;
        break;
      }
      if (p[i] == kTab && j < count && ++field == targets[j]) starts[j++] = i + 1;
    }
  }
  for (int k = j; k < count; ++k) starts[k] = std::string_view::npos;
  return field;
}

// Each width's instance of the two scans. `flatten` makes the wide ones one
// body each, compiled for the wide instructions throughout.
size_t SkipPlainLinesNarrow(std::string_view text) { return SkipPlainLinesWith<NarrowLanes>(text); }
KESTLE_WIDE_LANES __attribute__((flatten)) size_t SkipPlainLinesWide(std::string_view text) {
  return SkipPlainLinesWith<WideLanes>(text);
}
int FieldStartsNarrow(std::string_view text, const int* targets, int count, size_t* starts,
                      size_t* line_end) {
  return FieldStartsWith<NarrowLanes>(text, targets, count, starts, line_end);
}
KESTLE_WIDE_LANES __attribute__((flatten)) int FieldStartsWide(std::string_view text,
                                                               const int* targets, int count,
                                                               size_t* starts, size_t* line_end) {
  return FieldStartsWith<WideLanes>(text, targets, count, starts, line_end);
}

bool ProcessorHasWideLanes() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

// The scans in use: the widest the processor has, unless LimitScanLanes
// narrowed them.
struct Scans {
  size_t lane_bytes;
  size_t (*skip_plain_lines)(std::string_view);
  int (*field_starts)(std::string_view, const int*, int, size_t*, size_t*);
};
constexpr Scans kNarrowScans = {16, SkipPlainLinesNarrow, FieldStartsNarrow};
constexpr Scans kWideScans = {32, SkipPlainLinesWide, FieldStartsWide};
Scans scans = ProcessorHasWideLanes() ? kWideScans : kNarrowScans;

}  // namespace

size_t LimitScanLanes(size_t bytes) {
  size_t before = scans.lane_bytes;
  scans = bytes >= 32 && ProcessorHasWideLanes() ? kWideScans : kNarrowScans;
  return before;
}

size_t SkipPlainLines(std::string_view text) { return scans.skip_plain_lines(text); }

int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                size_t* line_end) {
  return scans.field_starts(text, targets, count, starts, line_end);
}

size_t FindKeywordEnd(std::string_view text, size_t limit) {
  limit = std::min(limit, text.size());
  unsigned hits = 0;
  if (text.size() >= 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data()));
    __m128i seps = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(kTab)),
                                _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                             _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
    hits = static_cast<unsigned>(_mm_movemask_epi8(seps));
  } else {
    for (size_t i = 0; i < limit; ++i) {
      char c = text[i];
      hits |= static_cast<unsigned>(c == kTab || c == '\r' || c == '\n') << i;
    }
  }
  hits |= 1u << limit;
  return std::min<size_t>(std::countr_zero(hits), limit);
}

size_t FindLineEnd(std::string_view text) {
  const char* p = text.data();
  size_t n = text.size();
  const __m128i crs = _mm_set1_epi8('\r');
  const __m128i lfs = _mm_set1_epi8('\n');
  size_t i = 0;
  // Thirty-two bytes per step, as two halves whose masks join in one word.
  for (; i + 32 <= n; i += 32) {
    __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
    __m128i lo_ends = _mm_or_si128(_mm_cmpeq_epi8(lo, crs), _mm_cmpeq_epi8(lo, lfs));
    __m128i hi_ends = _mm_or_si128(_mm_cmpeq_epi8(hi, crs), _mm_cmpeq_epi8(hi, lfs));
    uint32_t hits = static_cast<uint32_t>(_mm_movemask_epi8(lo_ends)) |
                    static_cast<uint32_t>(_mm_movemask_epi8(hi_ends)) << 16;
    if (hits != 0) return i + std::countr_zero(hits);
  }
  for (; i + 16 <= n; i += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(bytes, crs), _mm_cmpeq_epi8(bytes, lfs));
    unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(ends));
    if (hits != 0) return i + std::countr_zero(hits);
  }
  for (; i < n; ++i) {
    if (p[i] == '\r' || p[i] == '\n') return i;
  }
  return n;
}

size_t CountTabs(std::string_view text) {
  const char* p = text.data();
  size_t n = text.size();
  const __m128i tabs = _mm_set1_epi8(kTab);
  size_t i = 0;
  size_t count = 0;
  while (i + 16 <= n) {
    // Byte counters subtract one per TAB (the compare gives -1) and are
    // summed before they can wrap, after at most 255 blocks.
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      acc = _mm_sub_epi8(acc, _mm_cmpeq_epi8(bytes, tabs));
    }
    __m128i sums = _mm_sad_epu8(acc, _mm_setzero_si128());
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
  for (; i < n; ++i) count += p[i] == kTab;
  return count;
}

}  // namespace kestle::iif
