// Env: everything Kestle needs from the operating system, behind one interface.
//
// Domain code never touches the OS directly. There is one implementation per
// platform (env_posix.cc, env_windows.cc), chosen by the build, and a test
// double (fake_env.h) that records message boxes and lets tests set the clock
// and the date format. Every failing operation throws RuntimeError with a
// standard file error number; OS error codes are converted in exactly one
// place per platform.
//
// Paths and texts are UTF-8 std::strings. File contents are bytes: the ANSI
// code page of IIF files is never decoded.
#ifndef KESTLE_PLATFORM_ENV_H_
#define KESTLE_PLATFORM_ENV_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/date.h"

namespace kestle {

// The title of a message box shown without a title of its own.
inline constexpr const char* kAppTitle = "Orvanta Kestle ActiveX Component";

// Message box style bits (the values of the Windows MB_* flags).
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbIconStop = 0x10;  // the critical icon
// Message box result: the OK button.
inline constexpr int kIdOk = 1;

// A file open for sequential reading.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Reads up to n bytes into buf; returns the number read, 0 at end of file.
  virtual size_t Read(char* buf, size_t n) = 0;
};

// A file open for sequential writing. Writes are buffered by the caller or the
// OS; Close() flushes and reports any late error. Destroying an unclosed file
// closes it and ignores errors (the failure path).
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual void Append(const char* data, size_t n) = 0;
  // Cuts the file to its first `size` bytes of all those appended (no more
  // than were appended) and goes on appending from there.
  virtual void Truncate(uint64_t size) = 0;
  virtual void Close() = 0;
};

// A new file that receives a copy beside its target and then takes the
// target's place. While the object lives, the file is held as in use, so that
// no other process's clean-up (Env::NewTempFile) removes it; destroying it
// before Commit() removes the file.
class TempFile {
 public:
  virtual ~TempFile() = default;
  // The file's path: ".<target name>.kestle-XXXXXX" in the target's folder.
  virtual const std::string& path() const = 0;
  // Appends bytes to the file (for a copy that writes through this object;
  // a copy may instead open path() itself while this object lives).
  virtual void Append(const char* data, size_t n) = 0;
  // Flushes the file to disk, gives it the permission bits it was made for
  // and renames it over the target, atomically where the OS can, the rename
  // itself flushed to disk before it returns. Throws like RenameFile; the
  // file is then removed when the object goes (unless the rename was done
  // and only its flush failed).
  virtual void Commit() = 0;
};

// An exclusive advisory lock, held until the object is destroyed (or the
// process ends).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// The companion file beside a locked file that carries its advisory lock.
inline constexpr const char* kLockFileSuffix = ".kestle-lock";

// Threads. Env::Default() is made once, on first use from any thread, and
// shared by the whole process. It keeps no state between calls, so any thread
// may call it, several threads at once; ShowMessageBox blocks only the
// calling thread, and GeneralDateText reads the process's regional settings
// (on POSIX the C library's LC_TIME locale, which must not change while it
// runs). The files, temporary files and locks it returns, and the Envs that
// keep state of their own (FakeEnv, the CLI's Witness), are used by one
// thread at a time: in the DLL, whose objects are apartment-threaded, the
// thread of the object that made them.
class Env {
 public:
  virtual ~Env() = default;

  // The platform's Env; lives for the whole process.
  static Env* Default();

  // --- Sequential files -------------------------------------------------
  // Opens an existing file for reading (53 when missing, 76 when a folder of
  // the path is missing, 70 without access, 75 for a folder).
  virtual std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) = 0;
  // Creates the file or cuts an existing one to zero length.
  virtual std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) = 0;
  // True when both paths name one existing file (hard links included).
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // Size in bytes of an existing file; throws like NewSequentialFile.
  virtual uint64_t FileSize(const std::string& path) = 0;

  // --- File system ----------------------------------------------------------
  virtual bool FolderExists(const std::string& path) = 0;
  // Creates exactly one folder; fails when its parent is missing (76) or it
  // cannot be made (a file of that name is in the way). A folder already
  // there, which another process may have made since FolderExists said
  // none was, counts as made: two backups into a new folder at once both
  // go on.
  virtual void CreateFolder(const std::string& path) = 0;
  // Copies a file, replacing an existing target, through a NewTempFile beside
  // it: two copies to one target at once both succeed (the later one stays),
  // a failed copy leaves no partial file under the target name, and the copy
  // is never more readable than `from`. Throws 53 when `from` is missing, 76
  // when the target's folder is missing, 70 without access, 61 when the disk
  // is full.
  virtual void CopyFileTo(const std::string& from, const std::string& to) = 0;
  // Writes the contents that the file `from` has now over those of `to`,
  // created when missing (readable and writable by its owner only), at the
  // speed of the kernel's own copy: the file system shares the data blocks
  // where it can (a reflink), else the kernel copies them without passing
  // them through the process. For filling a TempFile by path. Throws like
  // NewSequentialFile for `from` and like NewWritableFile for `to` (61 when
  // the disk is full).
  virtual void CopyFileContents(const std::string& from, const std::string& to) = 0;
  // Creates an empty file with a new unique name in the folder of `target`
  // (never an existing file), for a copy that Commit() renames over
  // `target`. Its permission bits are those of `like` as the umask narrows
  // them (the owner may write it while the copy is made); Commit() leaves
  // the copy no more readable than `like`. First removes the files that
  // earlier copies into that folder left behind when they failed or were
  // killed, those that no process holds any more. Throws like
  // NewWritableFile for `target` (76, 70, 61) and like FileSize for `like`.
  virtual std::unique_ptr<TempFile> NewTempFile(const std::string& target,
                                                const std::string& like) = 0;
  // Renames a file over an existing target, atomically where the OS can.
  virtual void RenameFile(const std::string& from, const std::string& to) = 0;
  // Removes a file; a missing file is not an error.
  virtual void RemoveFile(const std::string& path) = 0;
  // The name of the normal file found at `path` (its last component as the
  // file system reports it), or "" when there is none. Folders, hidden and
  // system files count as absent.
  virtual std::string DirLookup(const std::string& path) = 0;
  // The separator between a folder and a name in a path ('/' or '\\').
  virtual char PathSeparator() const = 0;

  // --- Advisory locks -------------------------------------------------------
  // Takes the exclusive advisory lock that belongs to the existing file
  // `path`, without waiting; returns null when another holder (another
  // process, or another lock object of this one) has it. Two spellings of one
  // path (relative, through links) take the same lock. The lock lives on the
  // companion file `path` + kLockFileSuffix, created beside `path` with no
  // more access than `path` grants, and never removed: a holder must not lose
  // its lock to a file removed and made anew under it. It keeps nobody from
  // opening or changing `path`; it only excludes other takers of this lock.
  // Throws like NewSequentialFile when `path` is missing, and the error of
  // creating or opening the companion file.
  virtual std::unique_ptr<FileLock> LockFile(const std::string& path) = 0;

  // --- Clock and regional settings ---------------------------------------
  virtual Date Now() = 0;
  // The general date text of the user's regional settings: the short date,
  // then a blank and the long time unless the time is midnight.
  virtual std::string GeneralDateText(Date date) = 0;

  // --- User interface ---------------------------------------------------
  // Shows a modal message box and returns the button pressed. An empty title
  // shows kAppTitle.
  virtual int ShowMessageBox(const std::string& text, unsigned style, const std::string& title) = 0;
};

// An Env that passes every call to another Env. Subclasses override the
// calls they want to change (a test double, a decorator that counts boxes).
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    return target_->NewSequentialFile(path);
  }
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    return target_->NewWritableFile(path);
  }
  bool SameFile(const std::string& a, const std::string& b) override {
    return target_->SameFile(a, b);
  }
  uint64_t FileSize(const std::string& path) override { return target_->FileSize(path); }
  bool FolderExists(const std::string& path) override { return target_->FolderExists(path); }
  void CreateFolder(const std::string& path) override { target_->CreateFolder(path); }
  void CopyFileTo(const std::string& from, const std::string& to) override {
    target_->CopyFileTo(from, to);
  }
  void CopyFileContents(const std::string& from, const std::string& to) override {
    target_->CopyFileContents(from, to);
  }
  std::unique_ptr<TempFile> NewTempFile(const std::string& target,
                                        const std::string& like) override {
    return target_->NewTempFile(target, like);
  }
  void RenameFile(const std::string& from, const std::string& to) override {
    target_->RenameFile(from, to);
  }
  void RemoveFile(const std::string& path) override { target_->RemoveFile(path); }
  std::string DirLookup(const std::string& path) override { return target_->DirLookup(path); }
  char PathSeparator() const override { return target_->PathSeparator(); }
  std::unique_ptr<FileLock> LockFile(const std::string& path) override {
    return target_->LockFile(path);
  }
  Date Now() override { return target_->Now(); }
  std::string GeneralDateText(Date date) override { return target_->GeneralDateText(date); }
  int ShowMessageBox(const std::string& text, unsigned style, const std::string& title) override {
    return target_->ShowMessageBox(text, style, title);
  }

 private:
  Env* target_;
};

}  // namespace kestle

#endif  // KESTLE_PLATFORM_ENV_H_
