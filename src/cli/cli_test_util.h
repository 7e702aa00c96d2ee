// Runs the built `kestle` tool for the end-to-end tests of its commands.
#ifndef KESTLE_CLI_CLI_TEST_UTIL_H_
#define KESTLE_CLI_CLI_TEST_UTIL_H_

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/scratch_test_util.h"

namespace kestle::testing {

struct Outcome {
  int exit_code;
  std::string out;
  std::string err;
};

// `arg` quoted for the shell.
inline std::string ShellQuote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs `kestle args...` with standard input empty; its two output streams go
// through files in `scratch`.
inline Outcome Kestle(const ScratchDir& scratch, const std::vector<std::string>& args) {
  std::string command = ShellQuote(KESTLE_BINARY);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  const std::string out = scratch.File(".stdout"), err = scratch.File(".stderr");
  const int status =
      std::system((command + " </dev/null >" + ShellQuote(out) + " 2>" + ShellQuote(err)).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out), ReadBytes(err)};
}

}  // namespace kestle::testing

#endif  // KESTLE_CLI_CLI_TEST_UTIL_H_
