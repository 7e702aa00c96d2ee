// OutputBuffer's writes and its failure path.
#include "iif/output_buffer.h"

#include <cassert>

namespace kestle::iif {

std::unique_ptr<char[]> NewPaddedBuffer(size_t capacity) {
  std::unique_ptr<char[]> buf(new char[capacity + kScanPadding]);
  std::memset(buf.get() + capacity, 0, kScanPadding);
  return buf;
}

void OutputBuffer::Flush() {
  size_t n = used_;
  // Forget the data before writing it: after a failed write the failure
  // path flushes again and must not repeat it.
  used_ = 0;
  if (n > 0) Write(buf_.get(), n);
}

void OutputBuffer::DropLine() {
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

void OutputBuffer::Write(const char* data, size_t n) {
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

void OutputBuffer::AppendSpilling(std::string_view text) {
  size_t room = capacity_ - used_;
  assert(text.size() > room);
  std::memcpy(buf_.get() + used_, text.data(), room);
  used_ = capacity_;
  text.remove_prefix(room);
  Flush();
  size_t whole = text.size() - text.size() % capacity_;
  if (whole > 0) Write(text.data(), whole);
  used_ = text.size() - whole;
  std::memcpy(buf_.get(), text.data() + whole, used_);
}

}  // namespace kestle::iif
