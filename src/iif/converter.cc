// The IIF conversion driver: block reads, line cutting, dispatch on the line
// keyword, and buffered block writes.
//
// Lines are cut in place in the input buffer and handed on as views. A data
// row of the four rewritten lists is written as the few pieces of it that its
// rule keeps, found by scanning the row only as far as the removed fields;
// only headers are split into fields. Every other line is copied after a
// keyword comparison, and one that does not fit in the buffer is streamed
// through block by block, so memory stays at two blocks whatever the length
// of such a line. Only header and row lines longer than a block grow the
// input buffer to hold them whole.
#include "iif/converter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "iif/fields.h"
#include "iif/list_rules.h"
#include "iif/tab_scan.h"
#include "platform/error.h"

namespace kestle::iif {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The page size of the kernel's file copies: reads and writes that start and
// end at multiples of it copy whole pages.
constexpr size_t kPageSize = 4096;
// Pieces up to this long are copied by OutputBuffer::AppendPiece's own steps.
constexpr size_t kShortPiece = 128;
// What LineConverter::ConvertRow returns when it converted nothing.
constexpr size_t kNoRow = std::string_view::npos;
// A UTF-8 byte-order mark, as spreadsheet tools put at the start of a file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A buffer of `capacity` bytes followed by kScanPadding zero bytes. Only the
// padding is cleared: the rest is written before it is read, and clearing a
// whole block would cost a small file's conversion more than the file.
std::unique_ptr<char[]> NewPaddedBuffer(size_t capacity) {
  std::unique_ptr<char[]> buf(new char[capacity + kScanPadding]);
  std::memset(buf.get() + capacity, 0, kScanPadding);
  return buf;
}

// Gathers output into blocks so the file sees few, large writes, and can take
// back the line being written when it fails.
class OutputBuffer {
 public:
  OutputBuffer(WritableFile* file, size_t capacity)
      : file_(file), buf_(NewPaddedBuffer(capacity)), capacity_(capacity) {}

  // Marks the end of what DropLine() keeps; every line end marks it too.
  void Keep() { kept_ = handed_ + used_; }

  // Gathers `text`, or writes it as it stands when it is half a block or
  // more: a long run of plain lines is better not copied twice.
  void Append(std::string_view text) {
    size_t n = text.size();
    if (n >= capacity_ / 2) {
      AppendRun(text);
      return;
    }
    if (n > capacity_ - used_) {
      FlushPages();
      if (n > capacity_ - used_) Flush();
    }
    std::memcpy(buf_.get() + used_, text.data(), n);
    used_ += n;
  }

  // Append for a piece of a buffer followed by kScanPadding readable bytes:
  // short pieces, the fields of a row, are copied in whole 16-byte steps
  // that may run into the padding of both buffers.
  void AppendPiece(std::string_view text) {
    size_t n = text.size();
    if (n > kShortPiece || n > capacity_ - used_) {
      Append(text);
      return;
    }
    char* to = buf_.get() + used_;
    for (size_t i = 0; i < n; i += 16) std::memcpy(to + i, text.data() + i, 16);
    used_ += n;
  }

  // Writes the line end.
  void EndLine() {
    if (capacity_ - used_ >= kLineEnd.size()) {
      std::memcpy(buf_.get() + used_, kLineEnd.data(), kLineEnd.size());
      used_ += kLineEnd.size();
    } else {
      Append(kLineEnd);
    }
    Keep();
  }

  // Hands the gathered bytes up to the file's last page boundary to the
  // file and keeps the rest: the kernel copies whole, aligned pages fastest.
  void FlushPages() {
    size_t rest = static_cast<size_t>((handed_ + used_) % kPageSize);
    if (!aligned_ || rest >= used_) {
      Flush();
      return;
    }
    size_t n = used_ - rest;
    Write(buf_.get(), n);
    std::memmove(buf_.get(), buf_.get() + n, rest);
    used_ = rest;
  }

  // Hands everything gathered so far to the file.
  void Flush() {
    size_t n = used_;
    // Forget the data before writing it: after a failed write the failure
    // path flushes again and must not repeat it.
    used_ = 0;
    if (n > 0) Write(buf_.get(), n);
  }

  // The failure path: leaves the file holding exactly what was kept, the
  // lines before the current one. A streamed line may already have reached
  // the file in part. After a failed write, which may have left part of
  // its data, the file is cut back to the last line end known to have been
  // written whole.
  void DropLine() {
    if (write_failed_) {
      used_ = 0;
      file_->Truncate(written_kept_);
    } else if (kept_ >= handed_) {
      used_ = static_cast<size_t>(kept_ - handed_);
      Flush();
    } else {
      used_ = 0;
      file_->Truncate(kept_);
    }
  }

 private:
  void Write(const char* data, size_t n) {
    handed_ += n;
    try {
      file_->Append(data, n);
    } catch (...) {
      write_failed_ = true;
      throw;
    }
    // The file now holds every line whose end it holds. Every LF written
    // ends a line (fields hold no line ends), so the last one in these
    // bytes is such a mark when the latest mark lies further on.
    if (kept_ <= handed_) {
      written_kept_ = kept_;
      return;
    }
    for (size_t i = n; i > 0; --i) {
      if (data[i - 1] == '\n') {
        written_kept_ = handed_ - n + i;
        return;
      }
    }
  }

  // A long piece: topped up to a page boundary through the buffer, written
  // from where it lies in whole pages, its tail gathered.
  void AppendRun(std::string_view text) {
    size_t head = static_cast<size_t>((kPageSize - (handed_ + used_) % kPageSize) % kPageSize);
    if (!aligned_ || head > capacity_ - used_ || head >= text.size()) {
      Flush();
      Write(text.data(), text.size());
      return;
    }
    std::memcpy(buf_.get() + used_, text.data(), head);
    used_ += head;
    Flush();
    text.remove_prefix(head);
    size_t pages = text.size() - text.size() % kPageSize;
    Write(text.data(), pages);
    used_ = text.size() - pages;
    std::memcpy(buf_.get(), text.data() + pages, used_);
  }

  WritableFile* file_;
  std::unique_ptr<char[]> buf_;
  size_t capacity_;
  bool aligned_ = capacity_ >= 4 * kPageSize;  // room to write whole pages
  size_t used_ = 0;
  uint64_t handed_ = 0;  // bytes handed to the file
  uint64_t kept_ = 0;
  uint64_t written_kept_ = 0;  // a mark of Keep() that the file holds, the latest known
  bool write_failed_ = false;
};

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
    size_t end;
    if (!ConvertOneRow(cutter, text, final, &end)) return kNoRow;
    // A next row starts with the same keyword and a TAB; anything else, or a
    // row whose end is not in `text` yet, is left to the caller.
    while (text.size() - end > k + 2 && text[end] == '\r' && text[end + 1] == '\n' &&
           text[end + 2 + k] == '\t' && text.substr(end + 2, k) == keyword) {
      size_t next_end;
      if (!ConvertOneRow(cutter, text.substr(end + 2), false, &next_end)) break;
      end += 2 + next_end;
    }
    return end;
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
