// Standard input and output as the files named "-" (std_streams.h).
#include "cli/std_streams.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/error.h"

namespace kestle::cli {

namespace {

bool IsStdStream(const std::string& path) { return path == kStdStreamPath; }

class StdinFile : public SequentialFile {
 public:
  size_t Read(char* buf, size_t n) override {
    const size_t got = std::fread(buf, 1, n, stdin);
    if (got == 0 && std::ferror(stdin))
      throw RuntimeError(err::kDeviceIo).set_detail("standard input");
    return got;
  }
};

// A line of output held back from a pipe or terminal is passed on unfinished
// once it grows past this: memory stays bounded for a line of any length.
constexpr size_t kMostHeldBack = size_t{1} << 20;

class StdoutFile : public WritableFile {
 public:
  StdoutFile() : start_(std::ftell(stdout)) {}

  // Standard output redirected to a file is written as it comes and cut
  // back like any file. A pipe or terminal cannot take back what it was
  // given, so what follows the last LF written is held back until the rest
  // of its line comes: a failed line does not reach the reader, unless it
  // is longer than kMostHeldBack.
  void Append(const char* data, size_t n) override {
    if (start_ >= 0) {
      Put(data, n);
      return;
    }
    const void* last_lf = n > 0 ? ::memrchr(data, '\n', n) : nullptr;
    size_t whole = last_lf != nullptr ? static_cast<const char*>(last_lf) - data + 1 : 0;
    if (whole > 0) {
      Put(held_.data(), held_.size());
      held_.clear();
      Put(data, whole);
    }
    held_.append(data + whole, n - whole);
    if (held_.size() > kMostHeldBack) {
      Put(held_.data(), held_.size());
      held_.clear();
    }
  }
  void Truncate(uint64_t size) override {
    if (start_ < 0) {
      if (size < passed_ + held_.size()) held_.resize(size > passed_ ? size - passed_ : 0);
      if (std::fflush(stdout) != 0) Fail();
      return;
    }
    if (std::fflush(stdout) != 0) Fail();
    const off_t end = static_cast<off_t>(start_ + static_cast<long>(size));
    if (::ftruncate(fileno(stdout), end) != 0 || std::fseek(stdout, end, SEEK_SET) != 0) Fail();
  }
  void Close() override {
    Put(held_.data(), held_.size());
    held_.clear();
    if (std::fflush(stdout) != 0) Fail();
  }

 private:
  void Put(const char* data, size_t n) {
    if (std::fwrite(data, 1, n, stdout) != n) Fail();
    passed_ += n;
  }
  [[noreturn]] static void Fail() {
    throw RuntimeError(err::kDeviceIo).set_detail("standard output");
  }

  long start_;           // where the output began in a seekable stdout, else -1
  uint64_t passed_ = 0;  // bytes given to stdout
  std::string held_;     // a pipe's unfinished last line
};

}  // namespace

std::unique_ptr<SequentialFile> StdStreamEnv::NewSequentialFile(const std::string& path) {
  if (IsStdStream(path)) return std::make_unique<StdinFile>();
  return EnvWrapper::NewSequentialFile(path);
}

std::unique_ptr<WritableFile> StdStreamEnv::NewWritableFile(const std::string& path) {
  if (IsStdStream(path)) return std::make_unique<StdoutFile>();
  return EnvWrapper::NewWritableFile(path);
}

bool StdStreamEnv::SameFile(const std::string& a, const std::string& b) {
  if (IsStdStream(a) || IsStdStream(b)) return false;
  return EnvWrapper::SameFile(a, b);
}

std::string ReadStandardInput() {
  std::string text;
  StdinFile in;
  char buf[1 << 16];
  for (size_t n; (n = in.Read(buf, sizeof buf)) > 0;) text.append(buf, n);
  return text;
}

}  // namespace kestle::cli
