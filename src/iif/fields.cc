// The TAB splitter and the field joiner of the IIF conversion.
#include "iif/fields.h"

#include <algorithm>
#include <cassert>

#include "iif/tab_scan.h"
#include "platform/error.h"

namespace kestle::iif {

namespace {

constexpr char kTab = '\t';

// The offset just after the k-th TAB (k >= 1) at or after offset `i` of
// `line`, or npos when fewer follow. Only headers are cut this way, so the
// plain search does.
size_t SkipTabs(std::string_view line, size_t i, size_t k) {
  for (; k > 0; --k) {
    i = line.find(kTab, i);
    if (i == std::string_view::npos) return i;
    ++i;
  }
  return i;
}

// The offset of the first TAB at or after offset `i` of `line`, or its size.
size_t FindTab(std::string_view line, size_t i) {
  size_t at = line.find(kTab, i);
  return at == std::string_view::npos ? line.size() : at;
}

// Sorts `ranges` by start and merges those that overlap or touch, so that
// every position is covered at most once. Returns the number left and sets
// `last_start` to the greatest start given (the rows' length check needs the
// positions before it). Ranges of no length are dropped.
int Normalize(const RemovalRange* ranges, int count, RemovalRange* out, int& last_start) {
  int n = 0;
  last_start = 0;
  for (int k = 0; k < count; ++k) {
    RemovalRange r = ranges[k];
    if (k == 0 || r.start > last_start) last_start = r.start;
    if (r.length <= 0) continue;
    int i = n++;
    for (; i > 0 && out[i - 1].start > r.start; --i) out[i] = out[i - 1];
    out[i] = r;
  }
  int merged = 0;
  for (int k = 0; k < n; ++k) {
    if (merged > 0 && out[k].start <= out[merged - 1].start + out[merged - 1].length) {
      RemovalRange& prev = out[merged - 1];
      int end = std::max(prev.start + prev.length, out[k].start + out[k].length);
      prev.length = end - prev.start;
    } else {
      out[merged++] = out[k];
    }
  }
  return merged;
}

}  // namespace

void FieldList::ThrowSubscript() { throw RuntimeError(err::kSubscriptOutOfRange); }

std::string_view FieldList::at(int pos) const {
  if (pos < 1 || pos > count_) ThrowSubscript();
  if (materialized_) return slots_[pos - 1];
  if (pos < cursor_pos_) {
    cursor_pos_ = 1;
    cursor_start_ = 0;
  }
  if (pos > cursor_pos_) {
    cursor_start_ = SkipTabs(line_, cursor_start_, static_cast<size_t>(pos - cursor_pos_));
    cursor_pos_ = pos;
  }
  return line_.substr(cursor_start_, FindTab(line_, cursor_start_) - cursor_start_);
}

void FieldList::Materialize() {
  slots_.clear();
  size_t start = 0;
  for (int pos = 1; pos < count_; ++pos) {
    size_t end = FindTab(line_, start);
    slots_.push_back(line_.substr(start, end - start));
    start = end + 1;
  }
  slots_.push_back(line_.substr(start));
  materialized_ = true;
}

void FieldList::Replace(int pos, std::string_view text) {
  if (pos < 1 || pos > count_) ThrowSubscript();
  if (!materialized_) Materialize();
  slots_[pos - 1] = text;
}

int16_t splitFields(std::string_view line, std::string_view separator, FieldList& fields) {
  // An overflow leaves the list empty.
  fields.count_ = 0;
  fields.materialized_ = false;
  fields.cursor_pos_ = 1;
  fields.cursor_start_ = 0;
  if (separator.size() == 1 && separator[0] == kTab) {
    size_t tabs = CountTabs(line);
    if (tabs >= static_cast<size_t>(kMaxFields)) throw RuntimeError(err::kOverflow);
    fields.line_ = line;
    fields.count_ = static_cast<int>(tabs) + 1;
    return static_cast<int16_t>(fields.count_);
  }
  // Any other separator: cut every field now. Such fields are not one TAB
  // apart, so the list is not contiguous.
  fields.slots_.clear();
  size_t start = 0;
  for (size_t at; (at = line.find(separator, start)) != std::string_view::npos;
       start = at + separator.size()) {
    if (fields.slots_.size() >= static_cast<size_t>(kMaxFields) - 1) {
      throw RuntimeError(err::kOverflow);
    }
    fields.slots_.push_back(line.substr(start, at - start));
  }
  fields.slots_.push_back(line.substr(start));
  fields.count_ = static_cast<int>(fields.slots_.size());
  fields.materialized_ = true;
  return static_cast<int16_t>(fields.count_);
}

std::string_view joinFieldsExcept(const FieldList& fields, int16_t count,
                                  std::initializer_list<RemovalRange> ranges, std::string& out) {
  RemovalRange sorted[kMaxRanges];
  int last_start;
  int m = Normalize(ranges.begin(), static_cast<int>(ranges.size()), sorted, last_start);
  if (last_start - 1 > count) throw RuntimeError(err::kSubscriptOutOfRange);
  out.clear();
  bool first = true;
  auto emit = [&](int from, int to) {
    if (from > to) return;
    if (fields.contiguous()) {
      // Fields from..to of one line are that line's text from the start of
      // `from` to the end of `to`, TABs included: copy it in one piece.
      std::string_view a = fields.at(from);
      std::string_view b = fields.at(to);
      if (!first) out.push_back('\t');
      out.append(a.data(), b.data() + b.size() - a.data());
      first = false;
      return;
    }
    for (int pos = from; pos <= to; ++pos) {
      if (!first) out.push_back('\t');
      out.append(fields.at(pos));
      first = false;
    }
  };
  int next = 1;
  for (int k = 0; k < m; ++k) {
    emit(next, std::min<int>(sorted[k].start - 1, count));
    next = sorted[k].start + sorted[k].length;
  }
  emit(next, count);
  return out;
}

RowCutter::RowCutter(const RemovalRange* ranges, int count) {
  RemovalRange sorted[kMaxRanges];
  int last_start;
  int m = Normalize(ranges, count, sorted, last_start);
  RowShape& s = shape_;
  int next = 1;
  for (int k = 0; k < m; ++k) {
    if (sorted[k].start - 1 >= next) {
      s.targets[s.target_count] = next;
      s.begins[s.pieces++] = s.target_count++;
    }
    s.targets[s.target_count++] = std::max(sorted[k].start, 1);
    next = sorted[k].start + sorted[k].length;
  }
  next = std::max(next, 1);
  s.targets[s.target_count] = next;
  s.begins[s.pieces++] = s.target_count++;
  s.needed = last_start - 1;
}

int RowCutter::Spans(std::string_view line, std::string_view* spans) const {
  size_t line_end;
  int n = SpansToLineEnd(line, spans, &line_end, true);
  assert(line_end == line.size());
  return n;
}

int RowCutter::SpansToLineEnd(std::string_view text, std::string_view* spans, size_t* line_end,
                              bool text_ends_line) const {
  const RowShape& s = shape_;
  size_t starts[RowShape::kMaxTargets];
  int reached = FieldStarts(text, s.targets, s.target_count, starts, line_end);
  if (*line_end == text.size() && !text_ends_line) return -1;
  std::string_view line = text.substr(0, *line_end);
  if (line.size() >= static_cast<size_t>(kMaxFields) &&
      CountTabs(line) >= static_cast<size_t>(kMaxFields)) {
    throw RuntimeError(err::kOverflow);
  }
  // Every position before the greatest start is read; the last target lies
  // past it, so the scan reached it when the line has it.
  if (reached < s.needed) throw RuntimeError(err::kSubscriptOutOfRange);
  int n = 0;
  s.ForEachPiece(starts, line.size(), [&](size_t begin, size_t end) {
    spans[n++] = std::string_view(line.data() + begin, end - begin);
  });
  return n;
}

int SpansWithout(std::string_view line, const RemovalRange* ranges, int count,
                 std::string_view* spans) {
  return RowCutter(ranges, count).Spans(line, spans);
}

}  // namespace kestle::iif
