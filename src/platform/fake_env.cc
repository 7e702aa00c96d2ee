// The Env test double: real files, a settable clock and date format, and
// message boxes recorded instead of shown.
#include "platform/fake_env.h"

#include "platform/error.h"

namespace kestle {

FakeEnv::FakeEnv(Env* files)
    : EnvWrapper(files),
      now_(MakeDate(2026, 1, 5, 7, 3, 0)),
      format_(UsGeneralDateText),
      separator_(files->PathSeparator()) {}

void FakeEnv::CopyFileTo(const std::string& from, const std::string& to) {
  if (copy_fault_ != 0) throw RuntimeError(copy_fault_);
  EnvWrapper::CopyFileTo(from, to);
}

std::string FakeEnv::GeneralDateText(Date date) { return format_(date); }

int FakeEnv::ShowMessageBox(const std::string& text, unsigned style, const std::string& title) {
  boxes_.push_back({text, style, title.empty() ? kAppTitle : title});
  return kIdOk;
}

}  // namespace kestle
