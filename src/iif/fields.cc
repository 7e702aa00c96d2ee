// The TAB splitter and the field joiner of the IIF conversion.
#include "iif/fields.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/error.h"

namespace kestle::iif {

namespace {

constexpr char kTab = '\t';

// The high bit of each byte of `x` that is zero, and no other bit. Exact: no
// carry crosses from one byte into the next.
inline uint64_t ZeroBytes(uint64_t x) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// The TABs among the eight bytes at `p`, as ZeroBytes marks them.
inline uint64_t TabBytes(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return ZeroBytes(word ^ 0x0909090909090909ULL);
}

// Number of bytes that ZeroBytes marked in `marks`. A multiply adds the eight
// mark bits up in the top byte; it beats std::popcount, which is a library
// call unless the build targets one processor model.
inline size_t MarkCount(uint64_t marks) {
  return static_cast<size_t>(((marks >> 7) * 0x0101010101010101ULL) >> 56);
}

// Eight bytes are tested at a time where the byte order lets a bit index name
// the byte (little-endian); elsewhere the byte loops do all the work.
constexpr bool kWordScan = std::endian::native == std::endian::little;

// The offset just after the k-th TAB (k >= 1) at or after offset `i` of
// `line`, or npos when fewer follow.
size_t SkipTabs(std::string_view line, size_t i, size_t k) {
  const char* p = line.data();
  size_t n = line.size();
  if constexpr (kWordScan) {
    for (; i + 8 <= n; i += 8) {
      uint64_t hits = TabBytes(p + i);
      size_t c = MarkCount(hits);
      if (c >= k) {
        while (--k > 0) hits &= hits - 1;
        return i + std::countr_zero(hits) / 8 + 1;
      }
      k -= c;
    }
  }
  for (; i < n; ++i) {
    if (p[i] == kTab && --k == 0) return i + 1;
  }
  return std::string_view::npos;
}

// The offset of the first TAB at or after offset `i` of `line`, or its size.
size_t FindTab(std::string_view line, size_t i) {
  const char* p = line.data();
  size_t n = line.size();
  if constexpr (kWordScan) {
    for (; i + 8 <= n; i += 8) {
      if (uint64_t hits = TabBytes(p + i)) return i + std::countr_zero(hits) / 8;
    }
  }
  for (; i < n; ++i) {
    if (p[i] == kTab) return i;
  }
  return n;
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

// Walks a TAB-separated line forwards to the start of a field.
class TabCursor {
 public:
  explicit TabCursor(std::string_view line) : line_(line) {}

  // Offset of the first byte of field `pos` (>= 1), or npos when the line
  // has fewer fields. Cheap for increasing positions; a lower position than
  // the last one found starts again from the line's start.
  size_t StartOf(int pos) {
    if (pos < field_) {
      field_ = 1;
      start_ = 0;
    }
    if (pos > field_) {
      size_t at = SkipTabs(line_, start_, static_cast<size_t>(pos - field_));
      if (at == std::string_view::npos) return at;
      field_ = pos;
      start_ = at;
    }
    return start_;
  }

  // True when the line has field `pos`.
  bool Has(int pos) { return pos <= field_ || StartOf(pos) != std::string_view::npos; }

 private:
  std::string_view line_;
  int field_ = 1;
  size_t start_ = 0;
};

}  // namespace

size_t CountTabs(std::string_view line) {
  const char* p = line.data();
  size_t n = line.size();
  size_t i = 0;
  size_t tabs = 0;
  if constexpr (kWordScan) {
    for (; i + 8 <= n; i += 8) tabs += MarkCount(TabBytes(p + i));
  }
  for (; i < n; ++i) tabs += p[i] == kTab;
  return tabs;
}

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

int SpansWithout(std::string_view line, const RemovalRange* ranges, int count,
                 std::string_view* spans) {
  if (line.size() >= static_cast<size_t>(kMaxFields) &&
      CountTabs(line) >= static_cast<size_t>(kMaxFields)) {
    throw RuntimeError(err::kOverflow);
  }
  RemovalRange sorted[kMaxRanges];
  int last_start;
  int m = Normalize(ranges, count, sorted, last_start);
  TabCursor cursor(line);
  int n = 0;
  // Field `from` starts at `begin`; the span runs to `end`. Every span after
  // the first takes the TAB before its first field along.
  auto emit = [&](size_t begin, size_t end) {
    if (n > 0) --begin;
    spans[n++] = line.substr(begin, end - begin);
  };
  constexpr size_t npos = std::string_view::npos;
  int next = 1;
  for (int k = 0; k < m; ++k) {
    int s = sorted[k].start;
    size_t begin = npos;
    if (s - 1 >= next) {
      // Fields next .. s-1 are kept; all of them must exist, since they lie
      // before the last range.
      begin = cursor.StartOf(next);
      if (begin == npos) throw RuntimeError(err::kSubscriptOutOfRange);
    }
    if (k == m - 1 && last_start > 1 && !cursor.Has(last_start - 1)) {
      throw RuntimeError(err::kSubscriptOutOfRange);
    }
    if (begin != npos) {
      size_t after = cursor.StartOf(s);
      emit(begin, after == npos ? line.size() : after - 1);
    }
    next = s + sorted[k].length;
  }
  size_t begin = next >= 1 ? cursor.StartOf(next) : npos;
  if (begin != npos) emit(begin, line.size());
  return n;
}

}  // namespace kestle::iif
