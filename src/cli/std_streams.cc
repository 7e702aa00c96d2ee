// Standard input and output as the files named "-" (std_streams.h).
#include "cli/std_streams.h"

#include <unistd.h>

#include <cstdio>

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

class StdoutFile : public WritableFile {
 public:
  StdoutFile() : start_(std::ftell(stdout)) {}

  void Append(const char* data, size_t n) override {
    if (std::fwrite(data, 1, n, stdout) != n) Fail();
  }
  // Standard output redirected to a file is cut back like any file. A pipe
  // or terminal cannot take back what it was given: the part of a failed
  // line already written stays, and the command's exit status says the
  // conversion failed.
  void Truncate(uint64_t size) override {
    if (std::fflush(stdout) != 0) Fail();
    if (start_ < 0) return;
    const off_t end = static_cast<off_t>(start_ + static_cast<long>(size));
    if (::ftruncate(fileno(stdout), end) != 0 || std::fseek(stdout, end, SEEK_SET) != 0) Fail();
  }
  void Close() override {
    if (std::fflush(stdout) != 0) Fail();
  }

 private:
  [[noreturn]] static void Fail() {
    throw RuntimeError(err::kDeviceIo).set_detail("standard output");
  }

  long start_;  // where the output began in a seekable stdout, else -1
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
