// Shared pieces of the `kestle` command-line tool: the subcommand table's entry
// type, exit codes, error reporting and the terminal progress line.
#ifndef KESTLE_CLI_CLI_H_
#define KESTLE_CLI_CLI_H_

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "db/database.h"
#include "platform/error.h"

namespace kestle::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // a run-time error or a failed job
inline constexpr int kExitUsage = 2;    // bad command line
inline constexpr int kExitRefused = 3;  // archive: the dates were refused

// A subcommand: declares its options and nested subcommands on `cmd` and
// returns the function that runs it once the command line has been parsed.
// The runner returns the process exit code.
using Runner = std::function<int()>;
struct Command {
  const char* name;
  const char* summary;
  Runner (*setup)(CLI::App* cmd);
};

// The subcommand setups, one per file cmd_*.cc.
Runner SetupIif(CLI::App* cmd);
Runner SetupDb(CLI::App* cmd);
// `db sql` and `db tables`, whose options `db` shares with neither of its
// other subcommands; the runner runs whichever of the two was parsed.
Runner SetupDbSql(CLI::App* sql, CLI::App* tables);
Runner SetupArchive(CLI::App* cmd);
Runner SetupBackup(CLI::App* cmd);
Runner SetupShip(CLI::App* cmd);

// The backup job of `kestle backup`: Archiver.backupNow on the front-end
// `database` (opened from `front_end`), into `folder` ("" for the default)
// under the label `name`. Prints the backup file's path; returns the exit code.
int RunBackupJob(const std::shared_ptr<db::Database>& database, const std::string& front_end,
                 const std::string& folder, const std::string& name);

// Prints "kestle: error N: DESCRIPTION: DETAIL" on standard error (the file
// or statement that failed; without ": DETAIL" when the error carries none);
// returns kExitFailure.
int ReportError(const RuntimeError& e);
// Prints "kestle: MESSAGE" on standard error; returns `code`.
int Fail(const std::string& message, int code = kExitFailure);
// Reports the error of the exception being handled (see ReportError and
// CurrentError), with `what` (the file the command works on) as its detail
// when it carries none. Call only inside a catch block.
int ReportCurrentError(const std::string& what);

// Accepts only a whole number written in decimal digits, so that "-5" does
// not wrap around in an unsigned option and "1e3" is not read as 1000.
const CLI::Validator& WholeNumber();

// Set once from -q (--quiet): progress lines and summaries are left out, so
// that only a command's results (rows, paths, converted text) and its errors
// are printed.
void SetQuiet(bool quiet);
bool Quiet();

// True when standard input is a terminal (a person can answer a question).
bool StdinIsTerminal();

// A one-line progress display on standard error, shown only when standard
// error is a terminal and the job is large enough to be worth it. Redraws at
// most a few times a second and erases itself when done.
class ProgressLine {
 public:
  // `total` is the amount of work (bytes, rows); `unit` labels it ("B" shows
  // sizes and a byte rate). Shows nothing when `enabled` is false or the
  // tool is quiet.
  ProgressLine(std::string label, uint64_t total, std::string unit, bool enabled);
  ~ProgressLine();
  void Update(uint64_t done);
  void Finish();

  // True when standard error is a terminal.
  static bool StderrIsTerminal();

 private:
  std::string label_;
  uint64_t total_;
  std::string unit_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace kestle::cli

#endif  // KESTLE_CLI_CLI_H_
