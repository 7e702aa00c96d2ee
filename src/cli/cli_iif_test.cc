// End-to-end tests of `kestle iif`: exit codes, messages on standard error
// and the output file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct RunResult {
  int exit_code;
  std::string out;
  std::string err;
};

class CliIifTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("kestle_cli_iif_test_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs `kestle ARGS` (ARGS already quoted for the shell) with standard
  // input empty and both output streams captured.
  RunResult Kestle(const std::string& args) {
    fs::path out = dir_ / "stdout.txt";
    fs::path err = dir_ / "stderr.txt";
    std::string command = Q(KESTLE_BINARY);
    command += ' ' + args + " </dev/null >" + Q(out) + " 2>" + Q(err);
    int status = std::system(command.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {code, ReadBytes(out), ReadBytes(err)};
  }

  // `p` quoted for the shell.
  static std::string Q(const fs::path& p) {
    std::string quoted = "'";
    quoted += p.string();
    quoted += '\'';
    return quoted;
  }

  fs::path dir_;
};

TEST_F(CliIifTest, ConvertsAFileQuietly) {
  fs::path examples = fs::path(KESTLE_SOURCE_DIR) / "examples";
  fs::path out = dir_ / "out.iif";
  RunResult r = Kestle("iif " + Q(examples / "canada_company.iif") + " " + Q(out));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadBytes(out), ReadBytes(examples / "expected" / "canada_company.iif"));
}

TEST_F(CliIifTest, RuntimeErrorsExitWith1AndTheErrorLine) {
  RunResult missing = Kestle("iif " + Q(dir_ / "missing.iif") + " " + Q(dir_ / "out.iif"));
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "kestle: error 53: File not found\n");
  EXPECT_FALSE(fs::exists(dir_ / "out.iif"));

  WriteBytes(dir_ / "in.iif", "!EMP\tA\tB\tEMPNO\r\nEMP\ta\tb\r\nEMP\ta\r\nEMP\tlast\r\n");
  RunResult short_row = Kestle("iif " + Q(dir_ / "in.iif") + " " + Q(dir_ / "out.iif"));
  EXPECT_EQ(short_row.exit_code, 1);
  EXPECT_EQ(short_row.err, "kestle: error 9: Subscript out of range\n");
  EXPECT_EQ(ReadBytes(dir_ / "out.iif"), "!EMP\tA\tB\r\nEMP\ta\tb\r\n");

  RunResult same = Kestle("iif " + Q(dir_ / "in.iif") + " " + Q(dir_ / "in.iif"));
  EXPECT_EQ(same.exit_code, 1);
  EXPECT_EQ(same.err, "kestle: error 75: Path/File access error\n");
  EXPECT_EQ(ReadBytes(dir_ / "in.iif"),
            "!EMP\tA\tB\tEMPNO\r\nEMP\ta\tb\r\nEMP\ta\r\nEMP\tlast\r\n");

  WriteBytes(dir_ / "wide.iif", "TRNS" + std::string(32767, '\t') + "\r\n");
  RunResult wide = Kestle("iif " + Q(dir_ / "wide.iif") + " " + Q(dir_ / "out.iif"));
  EXPECT_EQ(wide.exit_code, 1);
  EXPECT_EQ(wide.err, "kestle: error 6: Overflow\n");
}

TEST_F(CliIifTest, UsageErrorsExitWith2) {
  WriteBytes(dir_ / "in.iif", "A\r\n");
  EXPECT_EQ(Kestle("iif").exit_code, 2);
  EXPECT_EQ(Kestle("iif " + Q(dir_ / "in.iif")).exit_code, 2);
  EXPECT_EQ(Kestle("iif " + Q(dir_ / "in.iif") + " a b").exit_code, 2);
  EXPECT_FALSE(fs::exists(dir_ / "a"));
}

TEST_F(CliIifTest, HelpExplainsTheConversion) {
  RunResult r = Kestle("help iif");
  EXPECT_EQ(r.exit_code, 0);
  for (const char* word : {"INPUT", "OUTPUT", "!INVITEM", "!CUST", "!VEND", "!EMP", "SALESTAXCODE",
                           "STAXCODE", "EMPNO", "CR LF"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
