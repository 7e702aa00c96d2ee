// The Windows Env: files through the wide-character file API, the local
// clock, the user's regional settings for date text (VarBstrFromDate) and
// modal message boxes (MessageBoxW) on the caller's thread.
//
// Paths and texts cross this file as UTF-8 and become UTF-16 for Windows in
// WideFromUtf8()/Utf8FromWide(); OS error codes become run-time errors in OsError().
//
// Test builds define KESTLE_MESSAGE_BOX_LOG: message boxes are then appended
// to the file named by the environment variable of that name and answered
// with OK, so that the automation tests run headless. Production builds
// always show the box.
#include "platform/windows_headers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/system_message_windows.h"
#include "platform/temp_names.h"
#include "platform/wide_text_windows.h"

namespace kestle {

namespace {

// --- Errors --------------------------------------------------------------

// The system's text for `code`, or "error N" when it has none.
std::string OsMessage(DWORD code) {
  const std::string text = SystemMessage(code);
  return text.empty() ? "error " + std::to_string(code) : text;
}

// The one place where Windows error codes become run-time errors, with the
// numbers of the host's file functions.
RuntimeError OsError(DWORD code, const std::string& path) {
  int number;
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      number = err::kFileNotFound;
      break;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:
      number = err::kPathNotFound;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
      number = err::kPermissionDenied;
      break;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
      number = err::kDiskFull;
      break;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      number = err::kBadFileNameOrNumber;
      break;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
      number = err::kDeviceIo;
      break;
    default:  // ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, ERROR_DIR_NOT_EMPTY...
      number = err::kPathFileAccess;
      break;
  }
  return RuntimeError(number).set_detail(path + ": " + OsMessage(code));
}

RuntimeError LastError(const std::string& path) { return OsError(GetLastError(), path); }

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// --- Files ---------------------------------------------------------------

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  // Closes the handle; false when CloseHandle failed.
  bool Close() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h == INVALID_HANDLE_VALUE || CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

class WindowsSequentialFile : public SequentialFile {
 public:
  WindowsSequentialFile(HANDLE h, std::string path) : file_(h), path_(std::move(path)) {}

  size_t Read(char* buf, size_t n) override {
    DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD read = 0;
    if (!ReadFile(file_.get(), buf, chunk, &read, nullptr)) {
      DWORD code = GetLastError();
      if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return 0;
      throw OsError(code, path_);
    }
    return read;
  }

 private:
  Handle file_;
  std::string path_;
};

// Writes go straight to the file: its callers gather their output into
// large blocks already, and a write that reports success is then on its way
// to the disk, which the conversion's failure path counts on (it cuts the
// file back to the last line it knows was written whole).
class WindowsWritableFile : public WritableFile {
 public:
  WindowsWritableFile(HANDLE h, std::string path) : file_(h), path_(std::move(path)) {}

  void Append(const char* data, size_t n) override {
    while (n > 0) {
      DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
      DWORD written = 0;
      BOOL ok = WriteFile(file_.get(), data, chunk, &written, nullptr);
      size_ += written;
      if (!ok) throw LastError(path_);
      data += written;
      n -= written;
    }
  }

  // Never lengthens the file: after a failed write it may hold less than
  // was appended.
  void Truncate(uint64_t size) override {
    size_ = std::min(size, size_);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size_);
    if (!SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.get())) {
      throw LastError(path_);
    }
  }

  void Close() override {
    if (!file_.Close()) throw LastError(path_);
  }

 private:
  Handle file_;
  std::string path_;
  uint64_t size_ = 0;  // bytes the file holds
};

// --- Temporary copies ------------------------------------------------------
//
// A copy is written to a temporary file beside its target (temp_names.h) and
// renamed over it when complete. The writer keeps the file open without
// sharing deletion, so Windows refuses to delete it while it is written; a
// temporary file that can be deleted belongs to a copy that failed without
// cleaning up or was killed, and the next copy into the folder removes it.

// How often a new name is tried when the previous one exists.
constexpr int kTempAttempts = 64;

// The folder part of `path` with its closing separator ("" for a bare name).
std::string FolderPrefix(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// Bits for a temporary name: the process id and the clock.
uint64_t TempEntropy() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^ static_cast<uint64_t>(now.QuadPart);
}

// Deletes the temporary copies (and what their writers put beside them) in
// the folder `prefix` that no process holds open. Best effort.
void RemoveStaleTempFiles(const std::string& prefix) {
  WIN32_FIND_DATAW found;
  const std::wstring pattern = WideFromUtf8(prefix + "." + "*" + kTempMarker + "*");
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = Utf8FromWide(found.cFileName, wcslen(found.cFileName));
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && TempBaseLength(name) > 0) {
      DeleteFileW(WideFromUtf8(prefix + name).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

class WindowsTempFile : public TempFile {
 public:
  WindowsTempFile(HANDLE h, std::string path, std::string target)
      : file_(h), path_(std::move(path)), target_(std::move(target)) {}
  // Uncommitted: the file goes.
  ~WindowsTempFile() override {
    if (!file_.valid()) return;
    file_.Close();
    DeleteFileW(WideFromUtf8(path_).c_str());
  }

  const std::string& path() const override { return path_; }

  void Append(const char* data, size_t n) override {
    while (n > 0) {
      DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
      DWORD written = 0;
      if (!WriteFile(file_.get(), data, chunk, &written, nullptr)) throw LastError(target_);
      data += written;
      n -= written;
    }
  }

  void Commit() override {
    if (!FlushFileBuffers(file_.get())) throw LastError(target_);
    // The rename needs the file closed. A clean-up elsewhere may delete it in
    // between; the rename then fails and the copy reports it.
    if (!file_.Close()) {
      DWORD code = GetLastError();
      DeleteFileW(WideFromUtf8(path_).c_str());
      throw OsError(code, target_);
    }
    if (!MoveFileExW(WideFromUtf8(path_).c_str(), WideFromUtf8(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DWORD code = GetLastError();
      DeleteFileW(WideFromUtf8(path_).c_str());
      throw OsError(code, target_);
    }
  }

 private:
  Handle file_;
  std::string path_;
  std::string target_;
};

// --- Message boxes in test builds -----------------------------------------

#ifdef KESTLE_MESSAGE_BOX_LOG
// Appends "style<TAB>title<TAB>text" to the log named by the environment
// variable KESTLE_MESSAGE_BOX_LOG (backslash, TAB, CR and LF escaped, so that
// each box is one line). False when the variable is not set.
bool RecordBox(const std::string& text, unsigned style, const std::string& title) {
  wchar_t log_path[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(L"KESTLE_MESSAGE_BOX_LOG", log_path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return false;
  auto escape = [](const std::string& s) {
    std::string out;
    for (char c : s) {
      switch (c) {
        case '\\':
          out += "\\\\";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\n':
          out += "\\n";
          break;
        default:
          out += c;
      }
    }
    return out;
  };
  std::string line = std::to_string(style) + "\t" + escape(title) + "\t" + escape(text) + "\n";
  Handle log(CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!log.valid()) return false;
  DWORD written = 0;
  WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return true;
}
#endif

// --- Advisory locks ---------------------------------------------------------

// A LockFileEx lock on the first byte of the companion file; closing the
// handle releases it.
class WindowsFileLock : public FileLock {
 public:
  explicit WindowsFileLock(HANDLE h) : file_(h) {}

 private:
  Handle file_;
};

// The companion file is made with the access its folder passes on; the lock
// belongs to the handle, so two lock objects of one process exclude each other.
std::unique_ptr<FileLock> LockCompanionFile(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) throw LastError(path);
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  size = size == 0 ? 0 : GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (size == 0) throw LastError(path);
  full.resize(size);
  full += WideFromUtf8(kLockFileSuffix);
  const std::string lock_path = Utf8FromWide(full.data(), full.size());
  HANDLE h = CreateFileW(full.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw LastError(lock_path);
  auto lock = std::make_unique<WindowsFileLock>(h);
  OVERLAPPED first_byte = {};
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first_byte)) {
    const DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) return nullptr;
    throw OsError(code, lock_path);
  }
  return lock;
}

// --- The Env -------------------------------------------------------------

class WindowsEnv : public Env {
 public:
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    std::wstring wide = WideFromUtf8(path);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      // Opening a folder fails as "access denied"; the host calls it 75.
      if (IsFolder(wide)) throw RuntimeError(err::kPathFileAccess).set_detail(path);
      throw OsError(code, path);
    }
    return std::make_unique<WindowsSequentialFile>(h, path);
  }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    std::wstring wide = WideFromUtf8(path);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      if (IsFolder(wide)) throw RuntimeError(err::kPathFileAccess).set_detail(path);
      throw OsError(code, path);
    }
    return std::make_unique<WindowsWritableFile>(h, path);
  }

  bool SameFile(const std::string& a, const std::string& b) override {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!FileInformation(a, &ia) || !FileInformation(b, &ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
  }

  uint64_t FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) {
      throw LastError(path);
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      throw RuntimeError(err::kPathFileAccess).set_detail(path);
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  bool FolderExists(const std::string& path) override {
    return !path.empty() && IsFolder(WideFromUtf8(path));
  }

  void CreateFolder(const std::string& path) override {
    const std::wstring wide = WideFromUtf8(path);
    if (CreateDirectoryW(wide.c_str(), nullptr)) return;
    const DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS || !IsFolder(wide)) throw OsError(code, path);
  }

  // Windows offers no copy into an open file by path: the data passes
  // through the process.
  void CopyFileContents(const std::string& from, const std::string& to) override {
    std::unique_ptr<SequentialFile> reader = NewSequentialFile(from);
    std::unique_ptr<WritableFile> writer = NewWritableFile(to);
    std::string buf(1 << 20, '\0');
    for (size_t n; (n = reader->Read(buf.data(), buf.size())) > 0;) writer->Append(buf.data(), n);
    writer->Close();
  }

  void CopyFileTo(const std::string& from, const std::string& to) override {
    std::unique_ptr<SequentialFile> reader = NewSequentialFile(from);
    std::unique_ptr<TempFile> temp = NewTempFile(to, from);
    std::string buf(1 << 20, '\0');
    for (size_t n; (n = reader->Read(buf.data(), buf.size())) > 0;) temp->Append(buf.data(), n);
    temp->Commit();
  }

  // The new file takes the permissions that its folder passes on to new
  // files, as every file made there does; `like` must exist.
  std::unique_ptr<TempFile> NewTempFile(const std::string& target,
                                        const std::string& like) override {
    FileSize(like);
    const std::string prefix = FolderPrefix(target);
    RemoveStaleTempFiles(prefix);
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
      std::string path = prefix + TempName(target.substr(prefix.size()), TempRandom(TempEntropy()));
      HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) return std::make_unique<WindowsTempFile>(h, path, target);
      DWORD code = GetLastError();
      if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) throw OsError(code, target);
    }
    throw OsError(ERROR_FILE_EXISTS, target);
  }

  void RenameFile(const std::string& from, const std::string& to) override {
    if (!MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      throw LastError(to);
    }
  }

  void RemoveFile(const std::string& path) override {
    if (DeleteFileW(WideFromUtf8(path).c_str())) return;
    DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) throw OsError(code, path);
  }

  std::string DirLookup(const std::string& path) override {
    if (path.empty()) return std::string();
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(WideFromUtf8(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      if (code == ERROR_INVALID_NAME || code == ERROR_BAD_PATHNAME ||
          code == ERROR_FILENAME_EXCED_RANGE) {
        throw OsError(code, path);
      }
      return std::string();
    }
    // Only normal files count: folders, hidden and system files are absent.
    constexpr DWORD kNotNormal =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    std::string name;
    do {
      if ((found.dwFileAttributes & kNotNormal) == 0) {
        name = Utf8FromWide(found.cFileName, wcslen(found.cFileName));
        break;
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return name;
  }

  char PathSeparator() const override { return '\\'; }

  std::unique_ptr<FileLock> LockFile(const std::string& path) override {
    return LockCompanionFile(path);
  }

  Date Now() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return MakeDate(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  }

  // The general date text of the user's regional settings: the short date,
  // then a blank and the long time unless the time is midnight. Both parts
  // come from VarBstrFromDate, as the host's runtime converts dates, but
  // apart: asked for the whole text, it drops the date of day zero
  // (12/30/1899), and asked for that date alone it may give nothing, which
  // the "Short Date" format then supplies. The date is first rounded to the
  // whole second that the time shows, so that both parts agree about the day.
  std::string GeneralDateText(Date date) override {
    const CivilTime civil = ToCivil(date);
    const Date rounded = ToDate(civil);
    std::string text = OleDateText(rounded, VAR_DATEVALUEONLY);
    if (text.empty()) text = ShortDateText(rounded);
    if (civil.hour != 0 || civil.minute != 0 || civil.second != 0) {
      text += ' ';
      text += OleDateText(rounded, VAR_TIMEVALUEONLY);
    }
    return text;
  }

  int ShowMessageBox(const std::string& text, unsigned style, const std::string& title) override {
    const std::string shown_title = title.empty() ? kAppTitle : title;
#ifdef KESTLE_MESSAGE_BOX_LOG
    if (RecordBox(text, style, shown_title)) return kIdOk;
#endif
    // Owned by the caller's active window, so that the box is modal to the
    // host; without one, modal to the calling thread's windows.
    HWND owner = GetActiveWindow();
    UINT flags = style | (owner == nullptr ? MB_TASKMODAL : 0);
    return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(shown_title).c_str(), flags);
  }

 private:
  // VarBstrFromDate with `flags` (the date or the time part alone) in the
  // user's regional settings; error 6 for a date out of its range.
  static std::string OleDateText(Date date, ULONG flags) {
    BSTR text = nullptr;
    HRESULT hr = VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text);
    if (FAILED(hr) || text == nullptr) throw RuntimeError(err::kOverflow);
    std::unique_ptr<OLECHAR, decltype(&SysFreeString)> owned(text, &SysFreeString);
    return Utf8FromWide(text, SysStringLen(text));
  }

  // The short date of `date` as the host's runtime formats a date as
  // "Short Date" (VarFormatDateTime); error 6 when it cannot be formatted.
  static std::string ShortDateText(Date date) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_DATE;
    V_DATE(&value) = date;
    BSTR text = nullptr;
    constexpr int kShortDate = 2;  // vbShortDate
    HRESULT hr = VarFormatDateTime(&value, kShortDate, 0, &text);
    if (FAILED(hr) || text == nullptr) throw RuntimeError(err::kOverflow);
    std::unique_ptr<OLECHAR, decltype(&SysFreeString)> owned(text, &SysFreeString);
    return Utf8FromWide(text, SysStringLen(text));
  }

  static bool FileInformation(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    Handle h(CreateFileW(WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.valid() && GetFileInformationByHandle(h.get(), info);
  }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv* env = new WindowsEnv;
  return env;
}

}  // namespace kestle
