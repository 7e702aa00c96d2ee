// TAB scans sixteen bytes at a time with the SSE2 instructions that every
// x86-64 processor has.
#include <emmintrin.h>

#include <array>
#include <bit>
#include <cstdint>

#include "iif/tab_scan.h"

namespace kestle::iif {
namespace {

constexpr char kTab = '\t';

// Number of set bits of each byte value. The population-count instruction is
// not part of the x86-64 baseline; a table lookup is as fast as the library
// call is slow.
constexpr std::array<uint8_t, 256> kBitCount = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i)
    t[i] = static_cast<uint8_t>(std::popcount(static_cast<unsigned>(i)));
  return t;
}();

// One bit for each TAB among the sixteen bytes at `p`, bit i for byte i.
inline unsigned TabMask(const char* p, __m128i tabs) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, tabs)));
}

}  // namespace

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

int FieldStarts(std::string_view line, const int* targets, int count, size_t* starts) {
  const char* p = line.data();
  size_t n = line.size();
  const __m128i tabs = _mm_set1_epi8(kTab);
  int j = 0;
  int field = 1;
  if (count > 0 && targets[0] <= 1) starts[j++] = 0;
  size_t i = 0;
  for (; j < count && i + 16 <= n; i += 16) {
    unsigned hits = TabMask(p + i, tabs);
    // Blocks before the one holding the next target are only counted: a
    // branch that rarely changes its mind, unlike a loop over the TABs.
    int found = kBitCount[hits & 0xFF] + kBitCount[hits >> 8];
    if (field + found < targets[j]) {
      field += found;
      continue;
    }
    for (; hits != 0; hits &= hits - 1) {
      if (++field == targets[j]) {
        starts[j] = i + std::countr_zero(hits) + 1;
        if (++j == count) return field;
      }
    }
  }
  for (; j < count && i < n; ++i) {
    if (p[i] == kTab && ++field == targets[j]) starts[j++] = i + 1;
  }
  for (; j < count; ++j) starts[j] = std::string_view::npos;
  return field;
}

}  // namespace kestle::iif
