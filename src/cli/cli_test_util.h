// Runs the built `kestle` tool for the end-to-end tests of its commands, with
// its output in files or on a pseudo-terminal.
#ifndef KESTLE_CLI_CLI_TEST_UTIL_H_
#define KESTLE_CLI_CLI_TEST_UTIL_H_

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sample_database.h"
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
// through files in `scratch`. `shell_prefix` runs in the same shell first
// (a ulimit, say).
inline Outcome Kestle(const ScratchDir& scratch, const std::vector<std::string>& args,
                      const std::string& shell_prefix = "") {
  std::string command = shell_prefix + ShellQuote(KESTLE_BINARY);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  const std::string out = scratch.File(".stdout"), err = scratch.File(".stderr");
  const int status =
      std::system((command + " </dev/null >" + ShellQuote(out) + " 2>" + ShellQuote(err)).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out), ReadBytes(err)};
}

// `kestle args...` started on a pseudo-terminal, which is its standard input,
// output and error: the tool as a person at a terminal sees it. The
// terminal echoes what is typed and ends output lines in CR LF.
class TerminalKestle {
 public:
  explicit TerminalKestle(const std::vector<std::string>& args) {
    pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      std::vector<char*> argv{const_cast<char*>("kestle")};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(KESTLE_BINARY, argv.data());
      _exit(127);
    }
  }
  ~TerminalKestle() {
    if (pid_ > 0) {
      // A test that failed half way leaves the tool waiting for an answer.
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (terminal_ >= 0) close(terminal_);
  }
  TerminalKestle(const TerminalKestle&) = delete;
  TerminalKestle& operator=(const TerminalKestle&) = delete;

  // Reads the terminal until its output holds `text` or the tool has ended;
  // true in the first case.
  bool WaitFor(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      if (!ReadSome()) return false;
    }
    return true;
  }
  void Type(const std::string& text) { (void)!write(terminal_, text.data(), text.size()); }
  // Reads the rest of the output and waits for the tool to end; returns its
  // exit code (-1 when it did not exit normally).
  int Wait() {
    while (ReadSome()) {
    }
    int status = 0;
    const pid_t pid = pid_;
    pid_ = -1;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  const std::string& output() const { return output_; }

 private:
  // False once the tool has closed the terminal (Linux reports EIO then).
  bool ReadSome() {
    char buf[4096];
    for (;;) {
      const ssize_t n = read(terminal_, buf, sizeof buf);
      if (n > 0) {
        output_.append(buf, static_cast<size_t>(n));
        return true;
      }
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
  }

  pid_t pid_ = -1;
  int terminal_ = -1;
  std::string output_;
};

// A fixture whose tests each work on their own copy of one sample split
// database of `kOrders` orders (made once per suite), its link rewritten to
// the copy's back-end: front_ and back_ in dir_.
template <int kOrders>
class SampleCopyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pristine_ = new ScratchDir;
    db::WriteSampleDatabase(pristine_->path(), kOrders);
  }
  static void TearDownTestSuite() { delete pristine_; }

  void SetUp() override {
    ASSERT_EQ(
        std::system(("cp '" + pristine_->path() + "'/orders*.db '" + dir_.path() + "'/").c_str()),
        0);
    db::testing::RunScript(front_, "UPDATE kestle_links SET connect = ';DATABASE=" + back_ + "'");
  }

  inline static ScratchDir* pristine_ = nullptr;
  ScratchDir dir_;
  std::string front_ = dir_.File("orders.db");
  std::string back_ = dir_.File("orders_be.db");
};

}  // namespace kestle::testing

#endif  // KESTLE_CLI_CLI_TEST_UTIL_H_
