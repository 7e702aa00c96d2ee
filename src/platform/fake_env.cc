// The Env test double: real files, a settable clock and date format, and
// message boxes recorded instead of shown.
#include "platform/fake_env.h"

#include <cstdio>

#include "platform/error.h"

namespace kestle {

std::string UsGeneralDateText(Date date) {
  CivilTime t = ToCivil(date);
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%d/%d/%d", t.month, t.day, t.year);
  if (t.hour != 0 || t.minute != 0 || t.second != 0) {
    int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    std::snprintf(buf + n, sizeof buf - n, " %d:%02d:%02d %s", hour12, t.minute, t.second,
                  t.hour < 12 ? "AM" : "PM");
  }
  return buf;
}

FakeEnv::FakeEnv(Env* files)
    : files_(files),
      now_(MakeDate(2026, 1, 5, 7, 3, 0)),
      format_(UsGeneralDateText),
      separator_(files->PathSeparator()) {}

std::unique_ptr<SequentialFile> FakeEnv::NewSequentialFile(const std::string& path) {
  return files_->NewSequentialFile(path);
}
std::unique_ptr<WritableFile> FakeEnv::NewWritableFile(const std::string& path) {
  return files_->NewWritableFile(path);
}
bool FakeEnv::SameFile(const std::string& a, const std::string& b) {
  return files_->SameFile(a, b);
}
uint64_t FakeEnv::FileSize(const std::string& path) { return files_->FileSize(path); }
bool FakeEnv::FolderExists(const std::string& path) { return files_->FolderExists(path); }
void FakeEnv::CreateFolder(const std::string& path) { files_->CreateFolder(path); }

void FakeEnv::CopyFile(const std::string& from, const std::string& to) {
  if (copy_fault_ != 0) throw RuntimeError(copy_fault_);
  files_->CopyFile(from, to);
}

void FakeEnv::RenameFile(const std::string& from, const std::string& to) {
  files_->RenameFile(from, to);
}
void FakeEnv::RemoveFile(const std::string& path) { files_->RemoveFile(path); }
std::string FakeEnv::DirLookup(const std::string& path) { return files_->DirLookup(path); }
std::string FakeEnv::GeneralDateText(Date date) { return format_(date); }

int FakeEnv::MessageBox(const std::string& text, unsigned style, const std::string& title) {
  boxes_.push_back({text, style, title.empty() ? kAppTitle : title});
  return kIdOk;
}

}  // namespace kestle
