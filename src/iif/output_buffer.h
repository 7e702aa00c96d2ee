// The conversion's output: gathered into blocks that go to the file whole,
// each at a multiple of the block size, and taken back to the last whole
// line when the conversion fails.
#ifndef KESTLE_IIF_OUTPUT_BUFFER_H_
#define KESTLE_IIF_OUTPUT_BUFFER_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "iif/tab_scan.h"
#include "platform/env.h"

namespace kestle::iif {

inline constexpr std::string_view kLineEnd = "\r\n";
// The page size of the kernel's file copies: reads that start and end at
// multiples of it copy whole pages.
inline constexpr size_t kPageSize = 4096;
// Pieces up to this long are copied by OutputBuffer::AppendPiece's own steps.
inline constexpr size_t kShortPiece = 128;

// A buffer of `capacity` bytes followed by kScanPadding zero bytes. Only the
// padding is cleared: the rest is written before it is read, and clearing a
// whole block would cost a small file's conversion more than the file.
std::unique_ptr<char[]> NewPaddedBuffer(size_t capacity);

// Gathers output into blocks so the file sees few, large writes, and can take
// back the line being written when it fails.
//
// Every write but the last is a whole block that starts at a multiple of the
// block size in the file. A file system that caches a file in large pages
// can then give each write whole large pages: on Linux with ext4, 256 KiB
// writes cost a fifth less kernel time that way than the same bytes written
// at page boundaries in between, which more than pays for copying runs of
// plain lines through the buffer instead of writing them where they lie.
class OutputBuffer {
 public:
  OutputBuffer(WritableFile* file, size_t capacity)
      : file_(file), buf_(NewPaddedBuffer(capacity)), capacity_(capacity) {}

  // Marks the end of what DropLine() keeps; every line end marks it too.
  void Keep() { kept_ = handed_ + used_; }

  // Gathers `text`, writing the block each time it fills.
  void Append(std::string_view text) {
    size_t n = text.size();
    if (n > capacity_ - used_) {
      AppendSpilling(text);
      return;
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

  // The free part of the block, for a caller that puts whole lines there
  // itself; kScanPadding bytes past its end may be written too.
  char* free_space() { return buf_.get() + used_; }
  size_t room() const { return capacity_ - used_; }

  // Takes in `n` bytes put at free_space(), which end at a line end.
  void AddLines(size_t n) {
    assert(n <= room());
    used_ += n;
    Keep();
  }

  // Hands everything gathered so far to the file: the end of the output.
  void Flush();

  // The failure path: leaves the file holding exactly what was kept, the
  // lines before the current one. Part of the current line may already
  // have reached the file; it is cut off again. After a failed write, which
  // may have left part of its data, the file is cut back to the last line
  // end known to have been written whole.
  void DropLine();

 private:
  void Write(const char* data, size_t n);

  // Append for text longer than the room left: fills the block and writes
  // it, writes any whole blocks of the rest from where they lie, and
  // gathers the tail.
  void AppendSpilling(std::string_view text);

  WritableFile* file_;
  std::unique_ptr<char[]> buf_;
  size_t capacity_;
  size_t used_ = 0;
  uint64_t handed_ = 0;  // bytes handed to the file
  uint64_t kept_ = 0;
  uint64_t written_kept_ = 0;  // a mark of Keep() that the file holds, the latest known
  bool write_failed_ = false;
};

}  // namespace kestle::iif

#endif  // KESTLE_IIF_OUTPUT_BUFFER_H_
