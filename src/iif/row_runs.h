// The loop of CutRows, written once over a processor's scans: each
// tab_scan_*.cc instantiates it with its field-start scan and its copy of
// short pieces. Internal to those files.
#ifndef KESTLE_IIF_ROW_RUNS_H_
#define KESTLE_IIF_ROW_RUNS_H_

#include <cstdint>
#include <cstring>
#include <string_view>

#include "iif/tab_scan.h"

namespace kestle::iif::internal {

// CutRows over `Scan`, which provides
//   FieldStarts(text, targets, count, starts, line_end), as in tab_scan.h, and
//   Copy(to, from, n), which copies n bytes and may read and write up to
//     kScanPadding - 1 bytes past both ends.
// A row is put out only once everything that could make its conversion
// throw or stop has been ruled out, so what is written is whole rows.
template <class Scan>
inline RowsCut CutRowsWith(const RowShape& shape, std::string_view keyword, std::string_view text,
                           bool final, char* out, size_t room) {
  const char* p = text.data();
  const size_t n = text.size();
  const KeywordWord next_row(keyword);
  RowsCut cut;
  size_t at = 0;  // start of the row being converted
  while (true) {
    size_t starts[RowShape::kMaxTargets];
    size_t line_end;
    int reached = Scan::FieldStarts(std::string_view(p + at, n - at), shape.targets,
                                    shape.target_count, starts, &line_end);
    // The caller's own path reports short rows and counts the fields of
    // long ones, and waits for the rest of a row that goes on.
    if ((at + line_end == n && !final) || reached < shape.needed || line_end >= kPlainLineLimit ||
        line_end + 2 > room - cut.written) {
      cut.next = at;
      return cut;
    }
    const char* row = p + at;
    char* to = out + cut.written;
    shape.ForEachPiece(starts, line_end, [&](size_t begin, size_t end) {
      Scan::Copy(to, row + begin, end - begin);
      to += end - begin;
    });
    std::memcpy(to, "\r\n", 2);
    cut.written = to + 2 - out;
    ++cut.rows;
    cut.end = at + line_end;
    if (!next_row.StartsRowAfter(text, cut.end)) return cut;
    at = cut.end + 2;
  }
}

}  // namespace kestle::iif::internal

#endif  // KESTLE_IIF_ROW_RUNS_H_
