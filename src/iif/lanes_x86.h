// The vector lanes of the x86-64 byte scans (tab_scan_x86.cc,
// plain_runs_x86.cc): sixteen bytes at a time with the SSE2 instructions
// that every such processor has, thirty-two with AVX2 (and the bit
// instructions that come with it) where the processor has it. A scan is
// written once over a Lanes type, which builds the 64-bit masks of a 64-byte
// chunk from either width, and has one instance per width.
#ifndef KESTLE_IIF_LANES_X86_H_
#define KESTLE_IIF_LANES_X86_H_

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "iif/tab_scan.h"

namespace kestle::iif::x86 {

inline constexpr char kTab = '\t';

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
inline constexpr std::array<std::array<uint8_t, 8>, 256> kSelectInByte = [] {
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
inline constexpr int kStepsBeforeSelect = 3;

// Index of the highest set bit of `bits`, which is not zero.
inline size_t HighestBit(uint64_t bits) { return 63 - std::countl_zero(bits); }

// MayStartListLine for the line starting at `p`, as a bit.
inline uint64_t MayStartListLineAt(const char* p) { return MayStartListLine(p[0], p[1]); }

// Sixteen-byte lanes. Each mask covers the 64 bytes at `p`, bit i for p[i].
struct NarrowLanes {
  static constexpr size_t kWidth = 16;
  // Copies one lane's bytes.
  static void Copy(char* to, const char* from) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
  }
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
    if (k > kStepsBeforeSelect) return x86::SelectBit(x, k);
    for (; k > 0; --k) x &= x - 1;
    return std::countr_zero(x);
  }
};

// Thirty-two-byte lanes, for processors with AVX2.
struct WideLanes {
  static constexpr size_t kWidth = 32;
  KESTLE_WIDE_LANES static void Copy(char* to, const char* from) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), Load(from));
  }
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

// Thirty-two-byte lanes that select a bit with the table, for processors
// whose bit-deposit instruction is slow.
struct WideTableSelectLanes : WideLanes {
  static int SelectBit(uint64_t x, int k) { return x86::SelectBit(x, k); }
};

// The instances of the plain-run scan (plain_runs_x86.cc), one per width.
size_t SkipPlainLinesNarrow(std::string_view text);
KESTLE_WIDE_LANES size_t SkipPlainLinesWide(std::string_view text);

}  // namespace kestle::iif::x86

#endif  // KESTLE_IIF_LANES_X86_H_
