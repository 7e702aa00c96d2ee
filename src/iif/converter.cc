// The IIF conversion driver: block reads, line cutting, dispatch on the line
// keyword, and buffered block writes.
//
// Lines are cut in place in the input buffer and handed on as views. A data
// row of the four rewritten lists is written as the few pieces of it that its
// rule keeps, found by scanning the row only as far as the removed fields;
// only headers are split into fields. Every other line is copied after a
// keyword comparison (runs of them in one piece), and one that does not fit
// in the buffer is streamed through block by block, so memory stays at two
// blocks whatever the length of such a line. Only header and row lines longer than a block grow the
// input buffer to hold them whole.
#include "iif/converter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "iif/fields.h"
#include "iif/list_rules.h"
#include "iif/output_buffer.h"
#include "iif/tab_scan.h"
#include "platform/error.h"

namespace kestle::iif {
namespace {

// What LineConverter::ConvertRow returns when it converted nothing.
constexpr size_t kNoRow = std::string_view::npos;
// A UTF-8 byte-order mark, as spreadsheet tools put at the start of a file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Converts lines one at a time, carrying the list rules from headers to rows.
class LineConverter {
 public:
  explicit LineConverter(OutputBuffer* out) : out_(out) {}

  // Converts and writes one whole line.
  void Convert(std::string_view line) {
    LineKind kind = ClassifyKeyword(Keyword(line));
    if (kind == LineKind::kOther) {
      CheckFieldCount(line);
      out_->Append(line);
    } else if (IsHeader(kind)) {
      int16_t count = splitFields(line, "\t", fields_);
      out_->Append(RewriteHeader(kind, fields_, count, line, state_, scratch_));
      // A header may change the rule of its own list's rows and, through
      // the shared currency positions, of another list's.
      cutters_ready_ = false;
    } else {
      std::string_view spans[kMaxRanges + 1];
      int n = Cutter(kind).Spans(line, spans);
      for (int i = 0; i < n; ++i) out_->Append(spans[i]);
    }
    out_->EndLine();
  }

  // Converts the row of a rewritten list that starts `text`, if the line is
  // one and its end is in `text` or `text` ends the file (`final`), and the
  // rows of the same list that follow it, each after a CR LF, while their
  // ends are in `text`: a list's rows come in runs. Returns the offset of
  // the last converted row's terminator (the size of `text` for a last line
  // without one), or kNoRow when the line was left alone.
  size_t ConvertRow(std::string_view text, bool final) {
    size_t k = FindKeywordEnd(text, kLongestKeyword + 1);
    if (k == text.size() && !final) return kNoRow;  // the keyword may go on
    std::string_view keyword = text.substr(0, k);
    LineKind kind = ClassifyKeyword(keyword);
    if (kind == LineKind::kOther || IsHeader(kind)) return kNoRow;
    const RowCutter& cutter = Cutter(kind);
    const KeywordWord next_row(keyword);
    size_t end = kNoRow;
    size_t at = 0;  // where the rows still to convert start
    while (true) {
      RowsCut cut = CutRows(cutter.shape(), keyword, text.substr(at), final, out_->free_space(),
                            out_->room());
      if (cut.rows > 0) {
        out_->AddLines(cut.written);
        end = at + cut.end;
      }
      if (cut.next == std::string_view::npos) return end;
      // The row that stopped the run is converted here: this path reports a
      // row's errors, lets its output spill into the next block and leaves
      // a row whose end is not in `text` to the caller.
      at += cut.next;
      size_t row_end;
      if (!ConvertOneRow(cutter, text.substr(at), final, &row_end)) return end;
      end = at + row_end;
      if (!next_row.StartsRowAfter(text, end)) return end;
      at = end + 2;
    }
  }

  // Writes the row that starts `text` as `cutter` cuts it and sets *end to
  // the offset of its terminator; false, writing nothing, when `text` may go
  // on (not `final`) and holds no line end.
  bool ConvertOneRow(const RowCutter& cutter, std::string_view text, bool final, size_t* end) {
    std::string_view spans[kMaxRanges + 1];
    int n = cutter.SpansToLineEnd(text, spans, end, final);
    if (n < 0) return false;
    for (int i = 0; i < n; ++i) out_->AppendPiece(spans[i]);
    out_->EndLine();
    return true;
  }

  // Offered the start of a line that goes on past the buffer: when it is a
  // line of some other list, writes it and returns true, and the rest comes
  // through Continue() and Finish(). Returns false when the line must be held
  // whole (a list line, or one whose keyword is not known yet).
  bool Start(std::string_view part) {
    if (part.size() <= kLongestKeyword && part.find('\t') == std::string_view::npos) return false;
    if (ClassifyKeyword(Keyword(part)) != LineKind::kOther) return false;
    streamed_tabs_ = 0;
    Continue(part);
    return true;
  }

  // The next piece of a streamed line. Error 6 comes as soon as the piece
  // that starts field kMaxFields + 1 arrives, before any of it is written.
  void Continue(std::string_view part) {
    streamed_tabs_ += CountTabs(part);
    if (streamed_tabs_ >= static_cast<size_t>(kMaxFields)) throw RuntimeError(err::kOverflow);
    out_->Append(part);
  }

  // The last piece of a streamed line, without its terminator.
  void Finish(std::string_view part) {
    Continue(part);
    out_->EndLine();
  }

 private:
  // Field 1 of `line`, or a longer prefix of it when field 1 is longer than
  // any keyword: only the first kLongestKeyword + 1 bytes are looked at, so
  // a long line without TABs costs no scan.
  static std::string_view Keyword(std::string_view line) {
    return line.substr(0, FindKeywordEnd(line, kLongestKeyword + 1));
  }

  // A copied line obeys the same field limit as a rewritten one. Only a line
  // of at least kMaxFields bytes can hold kMaxFields TABs, so short lines
  // skip the count.
  static void CheckFieldCount(std::string_view line) {
    if (line.size() >= static_cast<size_t>(kMaxFields) &&
        CountTabs(line) >= static_cast<size_t>(kMaxFields)) {
      throw RuntimeError(err::kOverflow);
    }
  }

  // The cutter for rows of `kind` under the current state.
  const RowCutter& Cutter(LineKind kind) {
    if (!cutters_ready_) {
      for (LineKind row : kRowKinds) {
        RowRule rule = RowRuleFor(row, state_);
        cutters_[static_cast<int>(row)] = RowCutter(rule.ranges, rule.count);
      }
      cutters_ready_ = true;
    }
    return cutters_[static_cast<int>(kind)];
  }

  static constexpr LineKind kRowKinds[] = {LineKind::kItemRow, LineKind::kCustomerRow,
                                           LineKind::kVendorRow, LineKind::kEmployeeRow};

  OutputBuffer* out_;
  ListRewriteState state_;
  RowCutter cutters_[static_cast<int>(LineKind::kOther)];
  bool cutters_ready_ = false;
  FieldList fields_;
  std::string scratch_;
  size_t streamed_tabs_ = 0;
};

// Reads `in` block by block and hands each line, without its terminator, to
// `converter`. A byte-order mark at the start goes to `out` as it stands,
// ahead of the first line.
void ConvertStream(SequentialFile* in, LineConverter& converter, OutputBuffer& out,
                   const ConvertOptions& options) {
  size_t capacity = options.block_size > 0 ? options.block_size : 1;
  std::unique_ptr<char[]> buf = NewPaddedBuffer(capacity);
  size_t pos = 0;      // start of the unconverted data
  size_t end = 0;      // end of the data read
  size_t scanned = 0;  // bytes from pos known to hold no terminator
  bool eof = false;
  bool skip_lf = false;    // the last line ended at a CR; a LF right after it is part of that end
  bool at_start = true;    // the byte-order mark is still to be looked for
  bool mid_line = false;   // bytes of the current line were consumed (mark or streamed part)
  bool streaming = false;  // the current line is being streamed through
  uint64_t consumed = 0;

  while (true) {
    if (skip_lf && pos < end) {
      if (buf[pos] == '\n') ++pos;
      skip_lf = false;
    }
    if (at_start && (end - pos >= kByteOrderMark.size() || eof)) {
      at_start = false;
      if (std::string_view(buf.get() + pos, end - pos).starts_with(kByteOrderMark)) {
        out.Append(kByteOrderMark);
        out.Keep();
        pos += kByteOrderMark.size();
        mid_line = true;
      }
    }
    const char* base = buf.get();
    if (!at_start && !skip_lf && !mid_line && !streaming && scanned == 0) {
      // At a line start, the two lines that make up most of a file take a
      // fast path: runs of plain lines are copied whole, and a row of a
      // rewritten list is cut while its end is looked for.
      std::string_view rest(base + pos, end - pos);
      if (rest.size() >= 2 && !MayStartListLine(rest[0], rest[1])) {
        size_t plain = SkipPlainLines(rest);
        if (plain > 0) {
          out.Append(rest.substr(0, plain));
          out.Keep();
          pos += plain;
          continue;
        }
      } else if (size_t line_end = converter.ConvertRow(rest, eof); line_end != kNoRow) {
        if (line_end == rest.size()) return;  // the last line, without terminator
        skip_lf = rest[line_end] == '\r';
        pos += line_end + 1;
        continue;
      }
    }
    if (!at_start) {
      const char* eol = base + pos + scanned +
                        FindLineEnd(std::string_view(base + pos + scanned, end - pos - scanned));
      std::string_view rest(base + pos, (eol - base) - pos);
      if (eol != base + end || eof) {
        if (eol == base + end && rest.empty() && !mid_line) return;
        if (streaming) {
          converter.Finish(rest);
        } else {
          converter.Convert(rest);
        }
        if (eol == base + end) return;
        skip_lf = *eol == '\r';
        pos = eol - base + 1;
        scanned = 0;
        mid_line = streaming = false;
        continue;
      }
      // No terminator in what is left. A line of some other list is passed
      // on now instead of being kept.
      if (streaming) {
        converter.Continue(rest);
        pos = end;
      } else if (converter.Start(rest)) {
        streaming = mid_line = true;
        pos = end;
      }
    }
    // Keep the partial line and read more after it.
    scanned = at_start ? 0 : end - pos;
    if (pos > 0) {
      std::memmove(buf.get(), buf.get() + pos, end - pos);
      end -= pos;
      pos = 0;
    }
    if (end == capacity) {
      // A line held whole that is longer than the buffer: double it, so a
      // long line costs amortised linear time.
      std::unique_ptr<char[]> bigger = NewPaddedBuffer(capacity * 2);
      std::memcpy(bigger.get(), buf.get(), end);
      buf = std::move(bigger);
      capacity *= 2;
    }
    // Reads end at page boundaries of the file where they can: the kernel
    // copies whole, aligned pages fastest.
    size_t want = capacity - end;
    if (want > kPageSize) want -= (consumed + want) % kPageSize;
    size_t n = in->Read(buf.get() + end, want);
    if (n == 0) {
      eof = true;
    } else {
      end += n;
      consumed += n;
      if (options.progress) options.progress(consumed);
    }
  }
}

}  // namespace

void ConvertFile(Env* env, const std::string& in_path, const std::string& out_path,
                 const ConvertOptions& options) {
  // Opening the output would cut the input to zero length before a byte of it
  // was read.
  if (env->SameFile(in_path, out_path)) throw RuntimeError(err::kPathFileAccess);
  std::unique_ptr<SequentialFile> in = env->NewSequentialFile(in_path);
  std::unique_ptr<WritableFile> out = env->NewWritableFile(out_path);
  OutputBuffer buffer(out.get(), options.block_size > 0 ? options.block_size : 1);
  LineConverter converter(&buffer);
  try {
    ConvertStream(in.get(), converter, buffer, options);
    buffer.Flush();
  } catch (...) {
    // Keep the lines converted before the failure, without any part of the
    // one that failed, close both files, and report the failure itself
    // rather than any later one.
    in.reset();
    try {
      buffer.DropLine();
      out->Close();
    } catch (const RuntimeError&) {
    }
    throw;
  }
  in.reset();
  out->Close();
}

}  // namespace kestle::iif
