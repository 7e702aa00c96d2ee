// TAB scans sixteen bytes at a time with the SSE2 instructions that every
// x86-64 processor has.
#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "iif/tab_scan.h"

namespace kestle::iif {
namespace {

constexpr char kTab = '\t';

// One bit for each of the sixty-four bytes at `p` that equals `c`.
inline uint64_t ByteMask64(const char* p, __m128i c) {
  uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    mask |=
        static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, c))))
        << (16 * k);
  }
  return mask;
}

// One bit for each CR or LF among the sixty-four bytes at `p`.
inline uint64_t LineEndMask64(const char* p) {
  const __m128i crs = _mm_set1_epi8('\r');
  const __m128i lfs = _mm_set1_epi8('\n');
  uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(bytes, crs), _mm_cmpeq_epi8(bytes, lfs));
    mask |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(ends))) << (16 * k);
  }
  return mask;
}

// Number of set bits of `x`, in a few word operations: the population-count
// instruction is not part of the x86-64 baseline.
inline int BitCount64(uint64_t x) {
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

// Index of the highest set bit of `bits`, which is not zero.
inline size_t HighestBit(uint64_t bits) { return 63 - std::countl_zero(bits); }

// MayStartListLine without branches, for the line starting at `p`.
inline uint64_t MayStartListLineAt(const char* p) {
  auto pair = [](char a, char b) {
    return static_cast<unsigned>(static_cast<unsigned char>(a)) |
           static_cast<unsigned>(static_cast<unsigned char>(b)) << 8;
  };
  unsigned got = pair(p[0], p[1]);
  return static_cast<uint64_t>((got & 0xFF) == '!') | (got == pair('I', 'N')) |
         (got == pair('C', 'U')) | (got == pair('V', 'E')) | (got == pair('E', 'M'));
}

}  // namespace

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

size_t SkipPlainLines(std::string_view text) {
  const char* p = text.data();
  size_t n = text.size();
  if (n < 65) return 0;
  const __m128i crs = _mm_set1_epi8('\r');
  const __m128i lfs_wanted = _mm_set1_epi8('\n');
  // The bytes before the first chunk's: the text starts at a line start, so
  // the byte before it counts as no CR.
  char first_before[64] = {0};
  std::memcpy(first_before + 1, p, 63);
  size_t start = 0;       // start of the line the scan is in
  uint64_t after_lf = 1;  // the byte before the chunk is a LF (or the text starts there)
  size_t c = 0;
  // A line start's first two bytes are read, so a chunk also needs the byte
  // after it.
  for (; c + 65 <= n; c += 64) {
    const char* q = p + c;
    const char* before_q = c == 0 ? first_before : q - 1;
    // Bit i of `odd`: a line end other than CR LF next to byte i, which is a
    // LF without a CR before it or follows a CR that is not followed by a
    // LF. Such a chunk is rare, so the vector test comes first.
    __m128i odd_any = _mm_setzero_si128();
    uint64_t lfs = 0;
    for (int k = 0; k < 4; ++k) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * k));
      __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(before_q + 16 * k));
      __m128i lf = _mm_cmpeq_epi8(bytes, lfs_wanted);
      odd_any = _mm_or_si128(odd_any, _mm_xor_si128(lf, _mm_cmpeq_epi8(before, crs)));
      lfs |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(lf))) << (16 * k);
    }
    uint64_t odd = 0;
    if (_mm_movemask_epi8(odd_any) != 0) odd = ByteMask64(before_q, crs) ^ lfs;
    uint64_t starts = lfs << 1 | after_lf;
    // A chunk holds a line start or two: those are tested without a branch
    // (an absent start tests byte 63, whose answer the mask then drops),
    // any more in a loop.
    uint64_t listy = 0;
    uint64_t s = starts;
    for (int k = 0; k < 2; ++k) {
      int at = std::countr_zero(s | uint64_t{1} << 63);
      listy |= (MayStartListLineAt(q + at) & s >> at) << at;
      s &= s - 1;
    }
    for (; s != 0; s &= s - 1) {
      listy |= MayStartListLineAt(q + std::countr_zero(s)) << std::countr_zero(s);
    }
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
  }
  // A CR ending the last chunk has not been checked: its line is left out.
  return after_lf != 0 ? c : start;
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

int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                size_t* line_end) {
  const char* p = text.data();
  size_t n = text.size();
  const __m128i tabs_wanted = _mm_set1_epi8(kTab);
  int j = 0;
  int field = 1;
  if (count > 0 && targets[0] <= 1) starts[j++] = 0;
  size_t i = 0;
  *line_end = n;
  for (; i + 64 <= n; i += 64) {
    uint64_t ends = LineEndMask64(p + i);
    if (j < count) {
      uint64_t hits = ByteMask64(p + i, tabs_wanted) & ((ends & -ends) - 1);
      // Field `field` + r + 1 starts after TAB number r of the chunk.
      int found = BitCount64(hits);
      for (; j < count && targets[j] - field - 1 < found; ++j) {
        starts[j] = i + SelectBit(hits, targets[j] - field - 1) + 1;
      }
      field = j == count ? targets[count - 1] : field + found;
    }
    if (ends != 0) {
      *line_end = i + std::countr_zero(ends);
      break;
    }
    if (j == count) {
      *line_end = i + 64 + FindLineEnd(text.substr(i + 64));
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

}  // namespace kestle::iif
