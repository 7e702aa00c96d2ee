// The POSIX Env's file copies, temporary copies and advisory locks, and the
// helpers its files share (env_posix_internal.h).
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/env_posix_internal.h"
#include "platform/temp_names.h"

namespace kestle::posix {

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

void WriteAll(int fd, const char* data, size_t n, const std::string& path, uint64_t* written) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      throw PosixError(errno, path);
    }
    data += w;
    n -= static_cast<size_t>(w);
    if (written) *written += static_cast<uint64_t>(w);
  }
}

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

void KernelCopy(int in, int out, const std::string& out_path) {
  if (::ioctl(out, FICLONE, in) == 0) return;
  constexpr size_t kPiece = size_t{8} << 20;
  for (off64_t done = 0;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kPiece, 0);
    if (n > 0) {
      // Only a hint: the final sync reports any write error.
      ::sync_file_range(out, done, n, SYNC_FILE_RANGE_WRITE);
      done += n;
      continue;
    }
    if (n == 0) return;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
      throw PosixError(errno, out_path);
    }
    break;
  }
  std::string buf(size_t{1} << 20, '\0');
  for (;;) {
    const ssize_t got = ::read(in, buf.data(), buf.size());
    if (got == 0) return;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw PosixError(errno, out_path);
    }
    WriteAll(out, buf.data(), static_cast<size_t>(got), out_path);
  }
}

namespace {

// --- Temporary copies ------------------------------------------------------
//
// A copy is written to a temporary file beside its target (temp_names.h) and
// renamed over it when complete. The writer holds an flock() on the file for
// as long as it writes, so a file of that name that can be locked belongs to
// a copy that failed without cleaning up or was killed: the next copy into
// the folder removes it. The kernel drops the lock of a killed process.

// How often a new name is tried when the previous one exists or a clean-up
// took it.
constexpr int kTempAttempts = 64;

// Random bits for a temporary name: the system's random source where it
// answers at once, else the clock and the process id.
uint64_t TempEntropy() {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) {
    return bits;
  }
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return (static_cast<uint64_t>(::getpid()) << 40) ^ (static_cast<uint64_t>(ts.tv_sec) << 20) ^
         static_cast<uint64_t>(ts.tv_nsec);
}

// Removes the temporary copies (and what their writers put beside them) in
// the folder `prefix` ("" or ending in '/') that no process holds any more.
// Best effort: what cannot be removed stays for a later copy.
void RemoveStaleTempFiles(const std::string& prefix) {
  DIR* dir = ::opendir(prefix.empty() ? "." : prefix.c_str());
  if (dir == nullptr) return;  // creating the new copy reports the folder's problem
  std::vector<std::pair<std::string, size_t>> found;
  while (const dirent* entry = ::readdir(dir)) {
    const size_t base = TempBaseLength(entry->d_name);
    if (base > 0) found.emplace_back(entry->d_name, base);
  }
  ::closedir(dir);
  for (const auto& [name, base] : found) {
    const std::string base_path = prefix + name.substr(0, base);
    const int fd = ::open(base_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
      // A companion file outlives its temporary copy only when the writer
      // was killed between removing the two.
      if (errno == ENOENT && name.size() > base) ::unlink((prefix + name).c_str());
      continue;
    }
    // The lock proves that no writer holds the file; the second look proves
    // that the name still means the file that was locked.
    struct stat held, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
        ::lstat(base_path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      ::unlink((prefix + name).c_str());
    }
    ::close(fd);
  }
}

// Flushes the folder entry of `path` to disk, so that a rename into it
// survives a power loss. A folder this user may not open (write and search
// rights only) or a file system that cannot sync folders (EINVAL) keeps its
// entries as it does anyway.
void SyncFolderOf(const std::string& path) {
  const int fd = ::open(ParentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0 && error != EINVAL) throw PosixError(error, path);
}

class PosixTempFile : public TempFile {
 public:
  PosixTempFile(int fd, std::string path, std::string target, mode_t mode)
      : fd_(fd), path_(std::move(path)), target_(std::move(target)), mode_(mode) {}
  // Uncommitted: the file goes, while still locked.
  ~PosixTempFile() override {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
  }

  const std::string& path() const override { return path_; }

  void Append(const char* data, size_t n) override { WriteAll(fd_, data, n, target_); }

  void Commit() override {
    if (::fsync(fd_) != 0) throw PosixError(errno, target_);
    if (::fchmod(fd_, mode_) != 0) throw PosixError(errno, target_);
    if (::rename(path_.c_str(), target_.c_str()) != 0) throw PosixError(errno, target_);
    ::close(fd_);
    fd_ = -1;
    SyncFolderOf(target_);
  }

 private:
  int fd_;
  std::string path_;
  std::string target_;
  mode_t mode_;
};

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

}  // namespace

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

std::unique_ptr<TempFile> NewPosixTempFile(const std::string& target, const std::string& like) {
  struct stat source;
  if (::stat(like.c_str(), &source) != 0) throw PosixError(errno, like);
  const mode_t source_mode = source.st_mode & 0777;
  const size_t slash = target.find_last_of('/');
  const std::string prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  RemoveStaleTempFiles(prefix);
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    std::string path = prefix + TempName(target.substr(prefix.size()), TempRandom(TempEntropy()));
    // The owner must be able to write the copy; the umask (or the folder's
    // default ACL) narrows the rest, as for any new file.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC,
                          source_mode | S_IRUSR | S_IWUSR);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      throw PosixError(errno, target);
    }
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    // A clean-up that locked the new file before this process did has
    // removed it: try another name. (A file system without flock() leaves
    // the file unlocked, and no clean-up can then lock it either.)
    struct stat made;
    if (::fstat(fd, &made) == 0 && made.st_nlink > 0) {
      return std::make_unique<PosixTempFile>(fd, std::move(path), target,
                                             made.st_mode & source_mode);
    }
    ::close(fd);
  }
  throw PosixError(EEXIST, target);
}

}  // namespace kestle::posix
