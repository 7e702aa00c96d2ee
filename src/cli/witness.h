// The tool's view of a component call: the component reports an error only
// by number and text in a message box, so the tool watches the host database
// and the file system it hands in and keeps the last error that passed
// through them, with the statement or file that the error names.
#ifndef KESTLE_CLI_WITNESS_H_
#define KESTLE_CLI_WITNESS_H_

#include <memory>
#include <optional>
#include <string>

#include "db/database.h"
#include "platform/env.h"
#include "platform/error.h"

namespace kestle::cli {

// An Env that passes every call on, remembers the last error of a file call
// and counts the message boxes shown.
class Witness : public EnvWrapper {
 public:
  explicit Witness(Env* target) : EnvWrapper(target) {}

  // `database` with every call watched the same way.
  std::shared_ptr<db::Database> Watch(std::shared_ptr<db::Database> database);

  // Runs `op`; an error that leaves it is remembered and passed on.
  template <typename Op>
  auto Run(Op op) -> decltype(op()) {
    try {
      return op();
    } catch (...) {
      last_error_ = CurrentError();
      throw;
    }
  }

  int boxes() const { return boxes_; }

  // Names what made a component call fail: the last error seen, when it
  // carries a detail, as ReportError shows it; otherwise "kestle: FALLBACK".
  // Returns kExitFailure.
  int ReportFailure(const std::string& fallback) const;

  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;
  uint64_t FileSize(const std::string& path) override;
  void CreateFolder(const std::string& path) override;
  void CopyFileTo(const std::string& from, const std::string& to) override;
  void RenameFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;
  std::string DirLookup(const std::string& path) override;
  int ShowMessageBox(const std::string& text, unsigned style, const std::string& title) override;

 private:
  std::optional<RuntimeError> last_error_;
  int boxes_ = 0;
};

}  // namespace kestle::cli

#endif  // KESTLE_CLI_WITNESS_H_
