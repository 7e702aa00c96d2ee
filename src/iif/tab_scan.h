// The scans over a file's bytes that the conversion spends its time in:
// finding line ends, runs of plain lines, counting TABs and finding where
// given fields start. One implementation per processor family is chosen by
// the build: tab_scan_x86.cc tests sixteen bytes at a time with the vector
// instructions that every x86-64 processor has, and thirty-two at a time
// where the processor has AVX2; tab_scan_swar.cc tests eight bytes at a time
// in a 64-bit word, anywhere.
#ifndef KESTLE_IIF_TAB_SCAN_H_
#define KESTLE_IIF_TAB_SCAN_H_

#include <cstddef>
#include <string_view>

namespace kestle::iif {

// Keeps the scans to vector lanes of at most `bytes` bytes (or lets them use
// the widest the processor has again, for a large `bytes`), so that tests
// cover every width on one machine; returns the limit before. Not to be
// called while another thread scans.
size_t LimitScanLanes(size_t bytes);

// Offset of the first CR or LF in `text`, or its size when there is none.
size_t FindLineEnd(std::string_view text);

// Offset of the first TAB, CR or LF among the first `limit` bytes of `text`
// (limit at most 16), or min(limit, text.size()) when there is none: the
// length of a line's keyword, when it is at most limit - 1.
size_t FindKeywordEnd(std::string_view text, size_t limit);

// Bytes past the end of a buffer that the scans and the converter's copies
// may read (and the converter's output buffer may be written): buffers they
// work on are allocated this much longer.
inline constexpr size_t kScanPadding = 64;

// True unless the line whose first bytes are `first` and `second` is sure to
// belong to none of the item, customer, vendor and employee lists. Each of
// their keywords starts with "!" or with one of the pairs "IN", "CU", "VE",
// "EM"; `second` is any byte, or 0 when the line has a single byte.
// Written with bitwise operators so that it compiles without branches: the
// vector scans test it at line starts they cannot predict.
inline bool MayStartListLine(char first, char second) {
  return (first == '!') | ((first == 'I') & (second == 'N')) | ((first == 'C') & (second == 'U')) |
         ((first == 'V') & (second == 'E')) | ((first == 'E') & (second == 'M'));
}

// Lines shorter than this cannot hold more fields than a line may have, so a
// plain line needs no TAB count.
inline constexpr size_t kPlainLineLimit = 32767;

// Length of the longest prefix of `text`, which starts at a line start, made
// of whole plain lines: each ends in CR LF, is shorter than kPlainLineLimit
// and passes MayStartListLine as false. Such lines convert to themselves, so
// the whole prefix can be copied at once. Reads nothing past the text, and
// past the prefix less than a line and 260 bytes.
size_t SkipPlainLines(std::string_view text);

// Number of TABs in `text`.
size_t CountTabs(std::string_view text);

// The line that starts `text` ends at its first CR or LF, or with the text.
// Sets *line_end to that end's offset and starts[j] to the offset of the
// first byte of field targets[j] of the line (fields are cut at TABs and
// numbered from 1; targets strictly increasing, from 1), or to npos past the
// line's last field. Reads the line once, and nothing after its end. Returns
// the highest field number reached: the last target, or the line's field
// count when the line ends first.
int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                size_t* line_end);

}  // namespace kestle::iif

#endif  // KESTLE_IIF_TAB_SCAN_H_
