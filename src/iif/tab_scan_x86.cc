// The byte scans on x86-64, over the lanes of lanes_x86.h: the two scans
// that a file's conversion spends most of its time in, the runs of plain
// lines (plain_runs_x86.cc) and a row's field starts, go thirty-two bytes at
// a time with AVX2 on processors that have it, chosen once when the program
// starts; the others go sixteen at a time with SSE2.
#include <cpuid.h>

#include "iif/lanes_x86.h"
#include "iif/row_runs.h"

namespace kestle::iif {
namespace {

using x86::kTab;
using x86::NarrowLanes;
using x86::WideLanes;

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

// The row cutter's scan and copy over the given lanes: pieces are copied in
// whole steps of the lane width.
template <class Lanes>
struct RowScan {
  static int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                         size_t* line_end) {
    return FieldStartsWith<Lanes>(text, targets, count, starts, line_end);
  }
  static void Copy(char* to, const char* from, size_t n) {
    for (size_t i = 0; i < n; i += Lanes::kWidth) Lanes::Copy(to + i, from + i);
  }
};

// Each set of lanes' instances of the field-start scan and the row cutter.
// `flatten` makes a wide one one body, compiled for the wide instructions
// throughout.
int FieldStartsNarrow(std::string_view text, const int* targets, int count, size_t* starts,
                      size_t* line_end) {
  return FieldStartsWith<NarrowLanes>(text, targets, count, starts, line_end);
}
RowsCut CutRowsNarrow(const RowShape& shape, std::string_view keyword, std::string_view text,
                      bool final, char* out, size_t room) {
  return internal::CutRowsWith<RowScan<NarrowLanes>>(shape, keyword, text, final, out, room);
}
template <class Lanes>
KESTLE_WIDE_LANES __attribute__((flatten)) int FieldStartsWide(std::string_view text,
                                                               const int* targets, int count,
                                                               size_t* starts, size_t* line_end) {
  return FieldStartsWith<Lanes>(text, targets, count, starts, line_end);
}
template <class Lanes>
KESTLE_WIDE_LANES __attribute__((flatten)) RowsCut CutRowsWide(const RowShape& shape,
                                                               std::string_view keyword,
                                                               std::string_view text, bool final,
                                                               char* out, size_t room) {
  return internal::CutRowsWith<RowScan<Lanes>>(shape, keyword, text, final, out, room);
}

bool ProcessorHasWideLanes() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

// AMD processors before Zen 3 (family 19h) run the bit-deposit instruction
// as microcode, taking from tens to hundreds of cycles: a row's targets
// would cost more than its scan.
bool ProcessorHasSlowBitDeposit() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return false;
  constexpr unsigned kAuth = 0x68747541;  // "AuthenticAMD", in the order cpuid gives it
  if (ebx != kAuth || !__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  unsigned family = (eax >> 8) & 0xF;
  if (family == 0xF) family += (eax >> 20) & 0xFF;
  return family < 0x19;
}

// The scans in use, one set per ScanChoice.
struct Scans {
  ScanChoice choice;
  size_t (*skip_plain_lines)(std::string_view);
  int (*field_starts)(std::string_view, const int*, int, size_t*, size_t*);
  RowsCut (*cut_rows)(const RowShape&, std::string_view, std::string_view, bool, char*, size_t);
};
constexpr Scans kNarrowScans = {ScanChoice::kNarrow, x86::SkipPlainLinesNarrow, FieldStartsNarrow,
                                CutRowsNarrow};
constexpr Scans kWideScans = {ScanChoice::kWide, x86::SkipPlainLinesWide,
                              FieldStartsWide<WideLanes>, CutRowsWide<WideLanes>};
constexpr Scans kWideTableSelectScans = {ScanChoice::kWideTableSelect, x86::SkipPlainLinesWide,
                                         FieldStartsWide<x86::WideTableSelectLanes>,
                                         CutRowsWide<x86::WideTableSelectLanes>};

// The set for `choice`, or the nearest narrower one the processor has.
Scans ScansFor(ScanChoice choice) {
  if (choice == ScanChoice::kNarrow || !ProcessorHasWideLanes()) return kNarrowScans;
  if (choice == ScanChoice::kWideTableSelect) return kWideTableSelectScans;
  if (choice == ScanChoice::kBest && ProcessorHasSlowBitDeposit()) return kWideTableSelectScans;
  return kWideScans;
}

Scans scans = ScansFor(ScanChoice::kBest);

}  // namespace

ScanChoice UseScans(ScanChoice choice) {
  ScanChoice before = scans.choice;
  scans = ScansFor(choice);
  return before;
}

size_t SkipPlainLines(std::string_view text) { return scans.skip_plain_lines(text); }

int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                size_t* line_end) {
  return scans.field_starts(text, targets, count, starts, line_end);
}

RowsCut CutRows(const RowShape& shape, std::string_view keyword, std::string_view text, bool final,
                char* out, size_t room) {
  return scans.cut_rows(shape, keyword, text, final, out, room);
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
