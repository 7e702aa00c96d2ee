// FakeEnv: the test double of Env.
//
// Files and folders go to a real Env (by default Env::Default(), so tests work
// on real temporary files); the clock, the regional date text and message
// boxes are under the test's control. Message boxes are recorded, never shown,
// and answered with OK.
#ifndef KESTLE_PLATFORM_FAKE_ENV_H_
#define KESTLE_PLATFORM_FAKE_ENV_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/env.h"

namespace kestle {

class FakeEnv : public EnvWrapper {
 public:
  struct Box {
    std::string text;
    unsigned style;
    std::string title;  // kAppTitle when the caller gave none
  };

  explicit FakeEnv(Env* files = Env::Default());

  // The clock starts at 2026-01-05 07:03:00.
  void set_now(Date now) { now_ = now; }
  // Replaces the regional date text; the default is the US general date
  // format, "1/5/2026 7:03:00 AM" (time left out at midnight).
  void set_date_format(std::function<std::string(Date)> format) { format_ = std::move(format); }
  void set_path_separator(char sep) { separator_ = sep; }
  // Makes the next CopyFileTo calls fail with this error number (0: no fault).
  void set_copy_fault(int error_number) { copy_fault_ = error_number; }

  const std::vector<Box>& boxes() const { return boxes_; }
  void clear_boxes() { boxes_.clear(); }

  void CopyFileTo(const std::string& from, const std::string& to) override;
  char PathSeparator() const override { return separator_; }
  Date Now() override { return now_; }
  std::string GeneralDateText(Date date) override;
  int ShowMessageBox(const std::string& text, unsigned style, const std::string& title) override;

 private:
  Date now_;
  std::function<std::string(Date)> format_;
  char separator_;
  int copy_fault_ = 0;
  std::vector<Box> boxes_;
};

}  // namespace kestle

#endif  // KESTLE_PLATFORM_FAKE_ENV_H_
