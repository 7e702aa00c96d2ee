// The POSIX Env: files through open/read/write, the local clock, the C
// library's locale for date text, and message boxes as lines on stderr.
#include <fcntl.h>
#include <sys/file.h>
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

#include "platform/env.h"
#include "platform/error.h"

namespace kestle {

namespace {

// The folder part of `path` ("." when it has none).
std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The one place where OS error codes become run-time errors. A missing entry
// is "File not found" when its folder exists and "Path not found" otherwise,
// the distinction the host's file functions make.
RuntimeError PosixError(int errnum, const std::string& path) {
  int number;
  switch (errnum) {
    case ENOENT:
      number = IsDirectory(ParentOf(path)) ? err::kFileNotFound : err::kPathNotFound;
      break;
    case ENOTDIR:
      number = err::kPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      number = err::kPermissionDenied;
      break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      number = err::kDiskFull;
      break;
    case EIO:
      number = err::kDeviceIo;
      break;
    case ENAMETOOLONG:
    case EINVAL:
      number = err::kBadFileNameOrNumber;
      break;
    default:  // EISDIR, EEXIST, ELOOP, EBUSY, EXDEV...
      number = err::kPathFileAccess;
      break;
  }
  return RuntimeError(number).set_detail(path + ": " + std::strerror(errnum));
}

class PosixSequentialFile : public SequentialFile {
 public:
  PosixSequentialFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixSequentialFile() override { ::close(fd_); }

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

  void Append(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        throw PosixError(errno, path_);
      }
      data += w;
      n -= static_cast<size_t>(w);
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
};

// Opens `path` for reading, refusing folders (which open() accepts).
int OpenForReading(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PosixError(errno, path);
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw PosixError(EISDIR, path);
  }
  return fd;
}

// A lock taken with flock(), which belongs to the open file description: it
// is not lost when the process closes some other descriptor of the same file
// (as an fcntl() lock would be whenever SQLite closes one), and two lock
// objects of one process exclude each other.
class PosixFileLock : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { ::close(fd_); }

 private:
  int fd_;
};

std::unique_ptr<FileLock> LockCompanionFile(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) throw PosixError(errno, path);
  const std::string lock_path = std::string(resolved) + kLockFileSuffix;
  std::free(resolved);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) throw PosixError(errno, path);
  // Read access is enough for flock(); O_NOFOLLOW keeps a planted link from
  // making the lock file somewhere else.
  int fd =
      ::open(lock_path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0666);
  if (fd < 0) throw PosixError(errno, lock_path);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    if (e == EINTR) continue;
    ::close(fd);
    if (e == EWOULDBLOCK) return nullptr;
    throw PosixError(e, lock_path);
  }
  return std::make_unique<PosixFileLock>(fd);
}

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
    if (::mkdir(path.c_str(), 0777) != 0) throw PosixError(errno, path);
  }

  void CopyFile(const std::string& from, const std::string& to) override {
    int in = OpenForReading(from);
    // The copy goes to a temporary file beside the target and is renamed over
    // it only when complete, so a failure never leaves a partial target.
    std::string temp = to + ".kestle-XXXXXX";
    int out = ::mkstemp(temp.data());
    if (out < 0) {
      int e = errno;
      ::close(in);
      throw PosixError(e, to);
    }
    try {
      PosixSequentialFile reader(in, from);
      PosixWritableFile writer(out, temp);
      std::string buf(1 << 20, '\0');
      for (size_t n; (n = reader.Read(buf.data(), buf.size())) > 0;) writer.Append(buf.data(), n);
      if (::fsync(out) != 0) throw PosixError(errno, to);
      ::fchmod(out, 0666 & ~CurrentUmask());
      writer.Close();
      RenameFile(temp, to);
    } catch (...) {
      ::unlink(temp.c_str());
      throw;
    }
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
    const char* locale = std::setlocale(LC_TIME, nullptr);
    if (locale == nullptr || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0) {
      return UsGeneralDateText(date);
    }
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

  int MessageBox(const std::string& text, unsigned style, const std::string& title) override {
    (void)style;
    std::fprintf(stderr, "%s: %s\n", title.empty() ? kAppTitle : title.c_str(), text.c_str());
    std::fflush(stderr);
    return kIdOk;
  }

 private:
  static mode_t CurrentUmask() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv* env = new PosixEnv;
  return env;
}

}  // namespace kestle
