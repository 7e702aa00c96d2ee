// The POSIX Env: files through open/read/write, the local clock, the C
// library's locale for date text, and message boxes as lines on stderr.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "platform/env.h"
#include "platform/env_posix_internal.h"
#include "platform/error.h"

namespace kestle {

namespace {

using posix::IsDirectory;
using posix::KernelCopy;
using posix::LockCompanionFile;
using posix::NewPosixTempFile;
using posix::OpenForReading;
using posix::PosixError;
using posix::WriteAll;

class PosixSequentialFile : public SequentialFile {
 public:
  PosixSequentialFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixSequentialFile() override { ::close(fd_); }
  int fd() const { return fd_; }

  size_t Read(char* buf, size_t n) override {
    for (;;) {
      ssize_t r = ::read(fd_, buf, n);
      if (r >= 0) return static_cast<size_t>(r);
      if (errno != EINTR) throw PosixError(errno, path_);
    }
  }

 private:
  int fd_;
  std::string path_;
};

class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  void Append(const char* data, size_t n) override { WriteAll(fd_, data, n, path_, &written_); }

  // After a failed write the file holds less than was appended; cutting it
  // never pads it out with zeros.
  void Truncate(uint64_t size) override {
    size = std::min(size, written_);
    written_ = size;
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 ||
        ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) {
      throw PosixError(errno, path_);
    }
  }

  void Close() override {
    int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) throw PosixError(errno, path_);
  }

 private:
  int fd_;
  std::string path_;
  uint64_t written_ = 0;  // bytes that reached the file
};

class PosixEnv : public Env {
 public:
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    return std::make_unique<PosixSequentialFile>(OpenForReading(path), path);
  }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw PosixError(errno, path);
    return std::make_unique<PosixWritableFile>(fd, path);
  }

  bool SameFile(const std::string& a, const std::string& b) override {
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }

  uint64_t FileSize(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) throw PosixError(errno, path);
    return static_cast<uint64_t>(st.st_size);
  }

  bool FolderExists(const std::string& path) override { return IsDirectory(path); }

  void CreateFolder(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) == 0) return;
    const int error = errno;
    if (error != EEXIST || !IsDirectory(path)) throw PosixError(error, path);
  }

  void CopyFileTo(const std::string& from, const std::string& to) override {
    PosixSequentialFile reader(OpenForReading(from), from);
    std::unique_ptr<TempFile> temp = NewTempFile(to, from);
    std::string buf(1 << 20, '\0');
    for (size_t n; (n = reader.Read(buf.data(), buf.size())) > 0;) temp->Append(buf.data(), n);
    temp->Commit();
  }

  void CopyFileContents(const std::string& from, const std::string& to) override {
    PosixSequentialFile reader(OpenForReading(from), from);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) throw PosixError(errno, to);
    PosixWritableFile writer(out, to);
    KernelCopy(reader.fd(), out, to);
    writer.Close();
  }

  std::unique_ptr<TempFile> NewTempFile(const std::string& target,
                                        const std::string& like) override {
    return NewPosixTempFile(target, like);
  }

  void RenameFile(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) throw PosixError(errno, to);
  }

  void RemoveFile(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw PosixError(errno, path);
  }

  std::string DirLookup(const std::string& path) override {
    if (path.empty()) return "";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == ENAMETOOLONG) throw PosixError(errno, path);
      return "";
    }
    if (!S_ISREG(st.st_mode)) return "";
    std::string name = path.substr(path.find_last_of('/') + 1);
    // A leading dot marks a hidden file, which the lookup does not report.
    if (name.empty() || name[0] == '.') return "";
    return name;
  }

  char PathSeparator() const override { return '/'; }

  std::unique_ptr<FileLock> LockFile(const std::string& path) override {
    return LockCompanionFile(path);
  }

  Date Now() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    ::localtime_r(&ts.tv_sec, &tm);
    return MakeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  }

  std::string GeneralDateText(Date date) override {
    CivilTime t = ToCivil(date);
    bool with_time = t.hour != 0 || t.minute != 0 || t.second != 0;
    if (UsesUsDateText(std::setlocale(LC_TIME, nullptr))) return UsGeneralDateText(date);
    struct tm tm = {};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, with_time ? "%x %X" : "%x", &tm);
    return std::string(buf, n);
  }

  // True for the locales whose general date text is the US one: C and POSIX
  // (whose own short date has a two-digit year) in any encoding, and en_US,
  // where the C library pads month and hour with zeros that the US text has
  // not ("6/30/2025 7:03:09 AM").
  static bool UsesUsDateText(const char* locale) {
    if (locale == nullptr) return true;
    const std::string name = locale;
    const std::string base = name.substr(0, name.find_first_of(".@"));
    return base == "C" || base == "POSIX" || base == "en_US";
  }

  int ShowMessageBox(const std::string& text, unsigned style, const std::string& title) override {
    (void)style;
    std::fprintf(stderr, "%s: %s\n", title.empty() ? kAppTitle : title.c_str(), text.c_str());
    std::fflush(stderr);
    return kIdOk;
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv* env = new PosixEnv;
  return env;
}

}  // namespace kestle
