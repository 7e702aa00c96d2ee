// Fields of one IIF line: the TAB splitter and the joiner that rebuilds a line
// without some of its columns.
//
// A field list holds views into the line being converted (or into constant
// column names that a header rule put in place of a field), so splitting and
// joining allocate nothing once the buffers have grown to the longest line.
#ifndef KESTLE_IIF_FIELDS_H_
#define KESTLE_IIF_FIELDS_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kestle::iif {

// The most fields a line may have: counts and positions are 16-bit signed.
inline constexpr int kMaxFields = 32767;

// The fields of one line, numbered from 1 (field 1 is the line's keyword).
// The views stay valid only as long as the text they were cut from.
//
// A line cut at TABs is not cut up front: splitFields only counts the TABs,
// and at() finds a field when it is asked for, skipping whole words of the
// line between the fields asked for. The rewriting rules ask for a handful of
// positions of each data row, so most fields of a row are never cut out. A
// list whose fields are replaced, or that was cut at another separator, holds
// every field.
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

// Writes into `out` (replacing its contents) the fields of `fields` without
// those in `ranges`, joined by single TABs, and returns a view of `out`.
//
// With ranges (s1, l1) .. (sm, lm) and field count n the result is fields
// 1 .. s1-1, then s1+l1 .. s2-1, and so on, then sm+lm .. n. The ranges are
// taken in the order given, not sorted: a segment whose end lies before its
// start is empty. Every position of the segments before the last range is
// read, so a row shorter than those segments fails with RuntimeError 9; the
// last segment stops at n, so a range past the end of the line removes only
// the fields that exist.
std::string_view joinFieldsExcept(const FieldList& fields, int16_t count,
                                  std::initializer_list<RemovalRange> ranges, std::string& out);

}  // namespace kestle::iif

#endif  // KESTLE_IIF_FIELDS_H_
