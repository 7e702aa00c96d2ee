// The scans over a file's bytes that the conversion spends its time in:
// finding line ends, counting TABs and finding where given fields start. One implementation per
// processor family is chosen by the build: tab_scan_sse2.cc tests sixteen
// bytes at a time with the x86-64 vector instructions that every such
// processor has; tab_scan_swar.cc tests eight bytes at a time in a 64-bit
// word, anywhere.
#ifndef KESTLE_IIF_TAB_SCAN_H_
#define KESTLE_IIF_TAB_SCAN_H_

#include <cstddef>
#include <string_view>

namespace kestle::iif {

// Offset of the first CR or LF in `text`, or its size when there is none.
size_t FindLineEnd(std::string_view text);

// Number of TABs in `text`.
size_t CountTabs(std::string_view text);

// Sets starts[j] to the offset of the first byte of field targets[j] of
// `line` (fields are cut at TABs and numbered from 1; targets strictly
// increasing, from 1), or to npos past the line's last field. Scans only as
// far as the last target. Returns the highest field number reached: the last
// target, or the line's field count when the line ends first.
int FieldStarts(std::string_view line, const int* targets, int count, size_t* starts);

}  // namespace kestle::iif

#endif  // KESTLE_IIF_TAB_SCAN_H_
