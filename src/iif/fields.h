// Fields of one IIF line: the TAB splitter and the joiners that rebuild a line
// without some of its columns.
//
// A field list holds views into the line being converted (or into constant
// column names that a header rule put in place of a field), so splitting and
// joining allocate nothing once the buffers have grown to the longest line.
// Data rows are not split at all: SpansWithout finds the pieces of the row to
// keep and the caller writes them as they stand.
#ifndef KESTLE_IIF_FIELDS_H_
#define KESTLE_IIF_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "iif/tab_scan.h"

namespace kestle::iif {

// The most fields a line may have: counts and positions are 16-bit signed.
inline constexpr int kMaxFields = 32767;

// The fields of one line, numbered from 1 (field 1 is the line's keyword).
// The views stay valid only as long as the text they were cut from.
//
// A line cut at TABs is not cut up front: splitFields only counts the TABs,
// and at() finds a field when it is asked for, skipping whole words of the
// line between the fields asked for. A list whose fields are replaced, or
// that was cut at another separator, holds every field.
class FieldList {
 public:
  // Number of fields held.
  int16_t count() const { return static_cast<int16_t>(count_); }

  // Field `pos`; throws RuntimeError 9 (subscript out of range) when `pos` is
  // not between 1 and count(). Asking for positions in increasing order costs
  // one pass over the line in all.
  std::string_view at(int pos) const;

  // Puts `text` in place of field `pos` (same range check as at()). `text`
  // must outlive the list's use, which a string literal does.
  void Replace(int pos, std::string_view text);

  // True while every field is still the piece of one line that splitFields
  // cut at TABs, so that neighbouring fields are adjacent in memory, one TAB
  // apart.
  bool contiguous() const { return !materialized_; }

 private:
  friend int16_t splitFields(std::string_view line, std::string_view separator, FieldList& fields);
  [[noreturn]] static void ThrowSubscript();
  // Cuts every field of a TAB-separated line into slots_.
  void Materialize();

  std::string_view line_;  // the line, while the list is not materialized
  int count_ = 0;
  bool materialized_ = false;
  // The last field found by at() on an unmaterialized list: its position and
  // the offset of its first byte in line_.
  mutable int cursor_pos_ = 1;
  mutable size_t cursor_start_ = 0;
  // Every field, once materialized. Kept between lines for its storage.
  std::vector<std::string_view> slots_;
};

// Cuts `line` at every occurrence of `separator` (non-empty, compared byte for
// byte, no quoting) into `fields`, replacing what it held. A line with k
// separators gives k + 1 fields; an empty line gives one empty field. Returns
// the field count; throws RuntimeError 6 when it would pass kMaxFields.
int16_t splitFields(std::string_view line, std::string_view separator, FieldList& fields);

// A run of columns to leave out: `length` fields from position `start` on.
struct RemovalRange {
  int start;
  int length;
};

// The most removal ranges a rule names.
inline constexpr int kMaxRanges = 3;

// Writes into `out` (replacing its contents) the fields of `fields` without
// those in `ranges`, joined by single TABs, and returns a view of `out`.
//
// Each field at a position that some range covers is left out exactly once,
// whatever the order of the ranges and however they overlap; every other
// field is kept, in its order. With m ranges whose greatest start is s and
// field count n, positions up to s - 1 are read, so a row with n < s - 1
// fails with RuntimeError 9; a range past the end of the line removes only
// the fields that exist, and fields past the last range are carried along.
std::string_view joinFieldsExcept(const FieldList& fields, int16_t count,
                                  std::initializer_list<RemovalRange> ranges, std::string& out);

// The same join done on a TAB-separated `line` without splitting it: sets
// `spans` to the pieces of `line` whose concatenation is the joined text (at
// most `count` + 1 of them, each after the first starting at the TAB before
// its first field) and returns how many there are. The line is scanned only
// as far as the ranges reach, except that a line long enough to hold more
// than kMaxFields fields has its TABs counted: RuntimeError 6 when it does.
// Throws RuntimeError 9 like joinFieldsExcept.
int SpansWithout(std::string_view line, const RemovalRange* ranges, int count,
                 std::string_view* spans);

// SpansWithout for many rows under one set of ranges, which it sorts and
// merges once.
class RowCutter {
 public:
  RowCutter() : RowCutter(nullptr, 0) {}
  RowCutter(const RemovalRange* ranges, int count);

  // As SpansWithout(line, ranges, count, spans). `line` holds no CR or LF.
  int Spans(std::string_view line, std::string_view* spans) const;

  // Spans for the line that starts `text` and ends at its first CR or LF (or
  // with the text), whose offset goes to *line_end: the row is read once,
  // its end found on the way. When the text holds no line end and may go on
  // (`text_ends_line` false), returns -1 and throws nothing, since the rest
  // of the row is still to come.
  int SpansToLineEnd(std::string_view text, std::string_view* spans, size_t* line_end,
                     bool text_ends_line) const;

  // The kept pieces as the scans' CutRows takes them.
  const RowShape& shape() const { return shape_; }

 private:
  static_assert(RowShape::kMaxTargets >= 2 * kMaxRanges + 1 &&
                RowShape::kMaxPieces >= kMaxRanges + 1);
  // Field positions to find, increasing: the first and the one after the
  // last of each kept stretch before a range, then the first after the last
  // range.
  RowShape shape_;
};

}  // namespace kestle::iif

#endif  // KESTLE_IIF_FIELDS_H_
