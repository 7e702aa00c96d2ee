// Checks of the Windows Env (src/platform/env_windows.cc, test build with
// the message-box log): files through the wide-character API with UTF-8
// paths, cutting a file back and copying its contents, the error numbers of
// failed file operations, DirLookup's idea of a normal file, CopyFileTo's
// replace-or-nothing, the clock, the general date text of the en-US
// settings the test prefix runs with, and message boxes.
#include "platform/windows_headers.h"

#include <functional>
#include <memory>
#include <string>

#include "component/com/test/check.h"
#include "component/com/test/fake_dao.h"
#include "component/com/test/test_context.h"
#include "component/com/test/test_util.h"
#include "platform/env.h"
#include "platform/error.h"

namespace kestle::com::test {

namespace {

// The error number that `op` raises (0 when it raises none).
int ErrorOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

std::string ReadAll(Env* env, const std::string& path) {
  std::unique_ptr<SequentialFile> file = env->NewSequentialFile(path);
  std::string bytes;
  char buf[7];  // small, so that reads come in several pieces
  for (size_t n; (n = file->Read(buf, sizeof buf)) > 0;) bytes.append(buf, n);
  return bytes;
}

void Write(Env* env, const std::string& path, const std::string& bytes) {
  std::unique_ptr<WritableFile> file = env->NewWritableFile(path);
  file->Append(bytes.data(), bytes.size());
  file->Close();
}

// The number of entries in a folder (temporary files included).
int EntryCount(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) ++count;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

}  // namespace

namespace {

void CheckFiles(Env* env, const std::string& dir, const std::wstring& wide_dir) {
  Group("Windows Env: files");
  // A UTF-8 path reaches the file system as the same UTF-16 name.
  const std::string name =
      "Kunden \xC3\x9C"
      "bersicht \xE2\x82\xAC.iif";
  Write(env, dir + name, "a\r\nb\r\n");
  CHECK(FileExists(wide_dir + L"Kunden \u00DCbersicht \u20AC.iif"));
  CHECK_EQ(ReadAll(env, dir + name), "a\r\nb\r\n");
  CHECK_EQ(env->FileSize(dir + name), 6u);
  CHECK(env->SameFile(dir + name, dir + "." + "\\" + name));
  Write(env, dir + "other.txt", "x");
  CHECK(!env->SameFile(dir + name, dir + "other.txt"));
  CHECK(!env->SameFile(dir + name, dir + "missing.txt"));

  // Truncate cuts back, appending goes on from there, and a size past what
  // the file holds never lengthens it (the conversion's failure path).
  {
    std::unique_ptr<WritableFile> file = env->NewWritableFile(dir + "cut.txt");
    file->Append("line 1\r\nline 2\r\npart", 20);
    file->Truncate(16);
    file->Append("line 3\r\n", 8);
    file->Truncate(1000);
    file->Close();
  }
  CHECK_EQ(ReadAll(env, dir + "cut.txt"), "line 1\r\nline 2\r\nline 3\r\n");
  env->CopyFileContents(dir + "cut.txt", dir + "copy.txt");
  CHECK_EQ(ReadAll(env, dir + "copy.txt"), "line 1\r\nline 2\r\nline 3\r\n");

  // An unclosed file keeps what was appended (the failure path).
  env->NewWritableFile(dir + "unclosed.txt")->Append("kept", 4);
  CHECK_EQ(ReadAll(env, dir + "unclosed.txt"), "kept");
  // A writable file cuts an existing one.
  Write(env, dir + "unclosed.txt", "");
  CHECK_EQ(env->FileSize(dir + "unclosed.txt"), 0u);

  Group("Windows Env: error numbers");
  CHECK_EQ(ErrorOf([&] { env->NewSequentialFile(dir + "missing.iif"); }), err::kFileNotFound);
  CHECK_EQ(ErrorOf([&] { env->NewSequentialFile(dir + "no_folder\\x.iif"); }), err::kPathNotFound);
  CHECK_EQ(ErrorOf([&] { env->NewSequentialFile(dir); }), err::kPathFileAccess);
  CHECK_EQ(ErrorOf([&] { env->NewWritableFile(dir + "no_folder\\x.iif"); }), err::kPathNotFound);
  CHECK_EQ(ErrorOf([&] { env->FileSize(dir + "missing.iif"); }), err::kFileNotFound);
  CHECK_EQ(ErrorOf([&] { env->CreateFolder(dir + "no_folder\\sub"); }), err::kPathNotFound);
  CHECK_EQ(ErrorOf([&] { env->RemoveFile(dir + "missing.iif"); }), 0);
  // A file opened without sharing cannot be read: permission denied.
  HANDLE locked = CreateFileW((wide_dir + L"locked.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
  CHECK_EQ(ErrorOf([&] { env->NewSequentialFile(dir + "locked.txt"); }), err::kPermissionDenied);
  CloseHandle(locked);
}

void CheckFolders(Env* env, const std::string& dir, const std::wstring& wide_dir) {
  Group("Windows Env: folders, copy and rename");
  for (const std::string& folder : {dir, dir.substr(0, dir.size() - 1)}) {
    CHECK(env->FolderExists(folder));
  }
  for (const std::string& other : {dir + "Backup", dir + "other.txt", std::string()}) {
    CHECK(!env->FolderExists(other));
  }
  CHECK_EQ(ErrorOf([&] { env->CreateFolder(dir + "Backup\\"); }), 0);
  CHECK(env->FolderExists(dir + "Backup\\"));
  // A folder already there (made by another process meanwhile) counts as
  // made; a file in the way does not.
  CHECK_EQ(ErrorOf([&] { env->CreateFolder(dir + "Backup"); }), 0);
  CHECK(ErrorOf([&] { env->CreateFolder(dir + "other.txt"); }) != 0);
  Write(env, dir + "source.mdb", "new contents");
  Write(env, dir + "Backup\\target.mdb", "old");
  env->CopyFileTo(dir + "source.mdb", dir + "Backup\\target.mdb");
  CHECK_EQ(ReadAll(env, dir + "Backup\\target.mdb"), "new contents");
  // A failed copy leaves the target as it was and no file beside it.
  int entries = EntryCount(wide_dir + L"Backup\\");
  CHECK_EQ(ErrorOf([&] { env->CopyFileTo(dir + "missing.mdb", dir + "Backup\\target.mdb"); }),
           err::kFileNotFound);
  CHECK_EQ(ReadAll(env, dir + "Backup\\target.mdb"), "new contents");
  CHECK_EQ(EntryCount(wide_dir + L"Backup\\"), entries);
  CHECK_EQ(ErrorOf([&] { env->CopyFileTo(dir + "source.mdb", dir + "no_folder\\t.mdb"); }),
           err::kPathNotFound);
  env->RenameFile(dir + "source.mdb", dir + "Backup\\target.mdb");
  CHECK_EQ(ReadAll(env, dir + "Backup\\target.mdb"), "new contents");
  CHECK(!FileExists(wide_dir + L"source.mdb"));

  Group("Windows Env: DirLookup");
  // A normal or read-only file is found; hidden and system files are not.
  struct Lookup {
    const char* name;
    DWORD attributes;
    const char* found;
  };
  const Lookup kLookups[] = {{"Orders_be.mdb", FILE_ATTRIBUTE_NORMAL, "Orders_be.mdb"},
                             {"hidden.mdb", FILE_ATTRIBUTE_HIDDEN, ""},
                             {"system.mdb", FILE_ATTRIBUTE_SYSTEM, ""},
                             {"readonly.mdb", FILE_ATTRIBUTE_READONLY, "readonly.mdb"}};
  for (const Lookup& l : kLookups) {
    Write(env, dir + l.name, "x");
    SetFileAttributesW(Wide(dir + l.name).c_str(), l.attributes);
    CHECK_EQ(env->DirLookup(dir + l.name), l.found);
    SetFileAttributesW(Wide(dir + l.name).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  for (const std::string& none :
       {dir + "missing.mdb", dir + "no_folder\\x.mdb", dir + "Backup", std::string()}) {
    CHECK_EQ(env->DirLookup(none), "");
  }
  CHECK_EQ(env->PathSeparator(), '\\');
}

}  // namespace

void CheckWindowsEnv(const Context& context) {
  Env* env = Env::Default();
  const std::wstring wide_dir = context.work + L"env\\";
  CreateDirectoryW(wide_dir.c_str(), nullptr);
  const std::string dir = Utf8(wide_dir);
  CheckFiles(env, dir, wide_dir);
  CheckFolders(env, dir, wide_dir);

  Group("Windows Env: advisory locks");
  Write(env, dir + "front.mdb", "x");
  std::unique_ptr<FileLock> held = env->LockFile(dir + "front.mdb");
  CHECK(held != nullptr);
  CHECK(env->LockFile(dir + "front.mdb") == nullptr);
  CHECK(env->LockFile(dir + ".\\front.mdb") == nullptr);
  held.reset();
  CHECK(env->LockFile(dir + "front.mdb") != nullptr);
  CHECK_EQ(env->DirLookup(dir + "front.mdb" + kLockFileSuffix), "front.mdb.kestle-lock");
  CHECK_EQ(ErrorOf([&] { env->LockFile(dir + "missing.mdb"); }), err::kFileNotFound);

  Group("Windows Env: clock and date text");
  SYSTEMTIME t;
  GetLocalTime(&t);
  Date now = env->Now();
  DATE expected = MakeDate(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  CHECK(now >= expected - 2.0 / 86400 && now <= expected + 2.0 / 86400);
  // The prefix runs with the en-US regional settings; day zero of the
  // calendar keeps its short date, with or without a time.
  const std::pair<DATE, const char*> kTexts[] = {
      {MakeDate(2025, 6, 30), "6/30/2025"},
      {MakeDate(2026, 1, 5, 7, 3, 9), "1/5/2026 7:03:09 AM"},
      {MakeDate(2026, 12, 31, 23, 59, 0), "12/31/2026 11:59:00 PM"},
      {MakeDate(1899, 12, 30), "12/30/1899"},
      {MakeDate(1899, 12, 30, 12, 0, 0), "12/30/1899 12:00:00 PM"}};
  for (const auto& [date, text] : kTexts) CHECK_EQ(env->GeneralDateText(date), text);

  Group("Windows Env: message boxes (test build)");
  TakeBoxes(context.box_log);
  CHECK_EQ(env->ShowMessageBox("53: File not found", kMbOk | kMbIconStop, ""), kIdOk);
  CHECK_EQ(env->ShowMessageBox("line one\nline two", kMbOk, "ShipRush"), kIdOk);
  std::vector<Box> boxes = TakeBoxes(context.box_log);
  if (CHECK_EQ(boxes.size(), 2u)) {
    CHECK(boxes[0].title == kAppTitle && boxes[0].style == kMbIconStop);
    CHECK_EQ(boxes[0].text, "53: File not found");
    CHECK(boxes[1].title == "ShipRush" && boxes[1].text == "line one\nline two");
  }
}

}  // namespace kestle::com::test
