// The IIF conversion driver: block reads, line cutting, dispatch on the line
// keyword, and buffered block writes.
//
// Lines are cut in place in the input buffer and handed on as views; only the
// lines of the four rewritten lists are split into fields. Every other line is
// copied after a keyword comparison (and, when long enough to matter, a TAB
// count), which keeps a large file close to the speed of a plain copy. Memory
// is two blocks plus whatever the longest line needs.
#include "iif/converter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "iif/fields.h"
#include "iif/list_rules.h"
#include "platform/error.h"

namespace kestle::iif {
namespace {

constexpr std::string_view kFieldSeparator = "\t";
constexpr std::string_view kLineEnd = "\r\n";

// Gathers output into blocks so the file sees few, large writes.
class OutputBuffer {
 public:
  OutputBuffer(WritableFile* file, size_t capacity)
      : file_(file), buf_(new char[capacity]), capacity_(capacity) {}

  // Writes `line` followed by CR LF.
  void WriteLine(std::string_view line) {
    Append(line.data(), line.size());
    Append(kLineEnd.data(), kLineEnd.size());
  }

  // Hands everything gathered so far to the file.
  void Flush() {
    size_t n = used_;
    // Forget the data before writing it: after a failed write the failure
    // path flushes again and must not repeat it.
    used_ = 0;
    if (n > 0) file_->Append(buf_.get(), n);
  }

 private:
  void Append(const char* data, size_t n) {
    if (n > capacity_ - used_) {
      Flush();
      if (n >= capacity_) {
        file_->Append(data, n);
        return;
      }
    }
    std::memcpy(buf_.get() + used_, data, n);
    used_ += n;
  }

  WritableFile* file_;
  std::unique_ptr<char[]> buf_;
  size_t capacity_;
  size_t used_ = 0;
};

// Finds the next CR or LF. memchr is far faster than a byte loop, but two
// independent searches would rescan the rest of the block for a byte that
// never comes (CR in an LF-only file), so each search's last hit is kept until
// the cursor passes it.
class LineEndFinder {
 public:
  // Forget cached hits; needed whenever the buffer's contents move or grow.
  void Reset() { cr_ = lf_ = nullptr; }

  // The first CR or LF in [p, e), or e when there is none.
  const char* Find(const char* p, const char* e) {
    const char* cr = Next(p, e, '\r', cr_);
    const char* lf = Next(p, e, '\n', lf_);
    return cr < lf ? cr : lf;
  }

 private:
  static const char* Next(const char* p, const char* e, char c, const char*& cache) {
    if (cache == nullptr || cache < p) {
      const void* hit = p < e ? std::memchr(p, c, e - p) : nullptr;
      cache = hit ? static_cast<const char*>(hit) : e;
    }
    return cache;
  }

  const char* cr_ = nullptr;
  const char* lf_ = nullptr;
};

// Converts lines one at a time, carrying the list rules from headers to rows.
class LineConverter {
 public:
  explicit LineConverter(OutputBuffer* out) : out_(out) {}

  void Convert(std::string_view line) {
    LineKind kind = ClassifyKeyword(Keyword(line));
    if (kind == LineKind::kOther) {
      CheckFieldCount(line);
      out_->WriteLine(line);
      return;
    }
    int16_t count = splitFields(line, kFieldSeparator, fields_);
    out_->WriteLine(RewriteLine(kind, fields_, count, line, state_, scratch_));
  }

 private:
  // Field 1 of `line`, or a longer prefix of it when field 1 is longer than
  // any keyword: only the first kLongestKeyword + 1 bytes are looked at, so
  // a long line without TABs costs no scan.
  static std::string_view Keyword(std::string_view line) {
    size_t limit = std::min(line.size(), kLongestKeyword + 1);
    for (size_t i = 0; i < limit; ++i) {
      if (line[i] == '\t') return line.substr(0, i);
    }
    return line.substr(0, limit);
  }

  // A copied line obeys the same field limit as a split one. Only a line of at
  // least kMaxFields bytes can hold kMaxFields TABs, so short lines skip the
  // count.
  static void CheckFieldCount(std::string_view line) {
    if (line.size() < static_cast<size_t>(kMaxFields)) return;
    size_t tabs = 0;
    const char* p = line.data();
    const char* e = p + line.size();
    while (const void* hit = std::memchr(p, '\t', e - p)) {
      if (++tabs >= static_cast<size_t>(kMaxFields)) throw RuntimeError(err::kOverflow);
      p = static_cast<const char*>(hit) + 1;
    }
  }

  OutputBuffer* out_;
  ListRewriteState state_;
  FieldList fields_;
  std::string scratch_;
};

// Reads `in` block by block and hands each line, without its terminator, to
// `converter`.
void ConvertStream(SequentialFile* in, LineConverter& converter, const ConvertOptions& options) {
  size_t capacity = options.block_size > 0 ? options.block_size : 1;
  std::unique_ptr<char[]> buf(new char[capacity]);
  size_t pos = 0;      // start of the unconverted data
  size_t end = 0;      // end of the data read
  size_t scanned = 0;  // bytes from pos known to hold no terminator
  bool eof = false;
  bool skip_lf = false;  // the last line ended at a CR; a LF right after it is part of that end
  uint64_t consumed = 0;
  LineEndFinder finder;

  while (true) {
    if (skip_lf && pos < end) {
      if (buf[pos] == '\n') ++pos;
      skip_lf = false;
    }
    const char* base = buf.get();
    const char* eol = finder.Find(base + pos + scanned, base + end);
    if (eol != base + end) {
      converter.Convert(std::string_view(base + pos, eol - (base + pos)));
      skip_lf = *eol == '\r';
      pos = eol - base + 1;
      scanned = 0;
      continue;
    }
    if (eof) {
      if (pos < end) converter.Convert(std::string_view(base + pos, end - pos));
      return;
    }
    // No terminator in what is left: keep the partial line and read more after it.
    scanned = end - pos;
    if (pos > 0) {
      std::memmove(buf.get(), buf.get() + pos, end - pos);
      end -= pos;
      pos = 0;
    }
    if (end == capacity) {
      // A line longer than the buffer: double it, so a long line costs
      // amortised linear time.
      std::unique_ptr<char[]> bigger(new char[capacity * 2]);
      std::memcpy(bigger.get(), buf.get(), end);
      buf = std::move(bigger);
      capacity *= 2;
    }
    finder.Reset();
    size_t n = in->Read(buf.get() + end, capacity - end);
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
    ConvertStream(in.get(), converter, options);
    buffer.Flush();
  } catch (...) {
    // Keep the lines converted before the failure, close both files, and
    // report the failure itself rather than any later one.
    in.reset();
    try {
      buffer.Flush();
      out->Close();
    } catch (const RuntimeError&) {
    }
    throw;
  }
  in.reset();
  out->Close();
}

}  // namespace kestle::iif
