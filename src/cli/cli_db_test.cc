// `kestle db` end to end: the built tool creates a sample, links tables into a
// new front-end and runs Jet statements, with its output and exit codes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestle::cli {
namespace {

struct Outcome {
  int exit_code;
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

class CliDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestle-cli-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs the kestle tool with `args`; standard output and error are captured.
  Outcome Kestle(const std::vector<std::string>& args) {
    std::string command = ShellQuote(KESTLE_BINARY);
    for (const std::string& a : args) command += " " + ShellQuote(a);
    std::string err_path = dir_ + "/stderr.txt";
    command += " 2>" + ShellQuote(err_path);
    Outcome o{-1, "", ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return o;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) o.out.append(buf, n);
    int status = pclose(pipe);
    o.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(err_path);
    o.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return o;
  }

  std::string dir_;
};

TEST_F(CliDbTest, SampleThenQueriesAndActionStatements) {
  Outcome sample = Kestle({"db", "sample", dir_, "--orders", "300", "--seed", "3"});
  ASSERT_EQ(sample.exit_code, 0) << sample.err;
  std::string front = dir_ + "/orders.db";
  EXPECT_EQ(sample.out, "front-end: " + front + "\nback-end:  " + dir_ + "/orders_be.db\n");

  Outcome query =
      Kestle({"db", "sql", front, "SELECT StatusId, Status FROM Status WHERE Status LIKE \"*ed\""});
  EXPECT_EQ(query.exit_code, 0) << query.err;
  EXPECT_EQ(query.out,
            "StatusId  Status\n"
            "--------  ---------\n"
            "       2  Closed\n"
            "       3  Archived\n"
            "       5  Cancelled\n"
            "(3 rows)\n");

  Outcome count =
      Kestle({"db", "sql", front,
              "SELECT count(*) AS n FROM [sales orders] WHERE SalesOrderID LIKE 'wo*'"});
  ASSERT_EQ(count.exit_code, 0) << count.err;
  std::string work_orders = count.out.substr(count.out.rfind("-\n") + 2);
  work_orders = work_orders.substr(work_orders.find_first_not_of(' '));
  work_orders = work_orders.substr(0, work_orders.find('\n'));
  ASSERT_GT(std::stoi(work_orders), 0);

  Outcome removed =
      Kestle({"db", "sql", front, "DELETE * FROM [Sales Orders] WHERE SalesOrderID LIKE 'WO*';"});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(removed.out, work_orders + " rows affected\n");
  Outcome again =
      Kestle({"db", "sql", front, "DELETE * FROM [Sales Orders] WHERE SalesOrderID LIKE 'WO*';"});
  EXPECT_EQ(again.out, "0 rows affected\n");
}

TEST_F(CliDbTest, LinkCreatesAFrontEndWithTheNamedTables) {
  ASSERT_EQ(Kestle({"db", "sample", dir_, "--orders", "20"}).exit_code, 0);
  std::string back = dir_ + "/orders_be.db";
  std::string front = dir_ + "/new_front.db";
  Outcome link = Kestle({"db", "link", front, back, "STATUS", "sales orders"});
  ASSERT_EQ(link.exit_code, 0) << link.err;
  EXPECT_EQ(link.out, "linked Status\nlinked sales orders\n");
  Outcome links = Kestle({"db", "sql", front, "SELECT name, connect FROM kestle_links ORDER BY 1"});
  EXPECT_EQ(links.out,
            "name          connect\n"
            "------------  " +
                std::string(10 + back.size(), '-') +
                "\n"
                "sales orders  ;DATABASE=" +
                back +
                "\n"
                "Status        ;DATABASE=" +
                back + "\n(2 rows)\n");
  Outcome status = Kestle({"db", "sql", front, "SELECT Status FROM Status WHERE StatusId = 1"});
  EXPECT_EQ(status.out, "Status\n------\nOpen\n(1 row)\n");

  // Linking every table, the ones linked before included, replaces their links.
  Outcome all = Kestle({"db", "link", front, back});
  EXPECT_EQ(all.exit_code, 0) << all.err;
  Outcome count = Kestle({"db", "sql", front, "SELECT count(*) AS n FROM kestle_links"});
  EXPECT_EQ(count.out, "n\n-\n5\n(1 row)\n");
}

TEST_F(CliDbTest, ErrorsAndUsage) {
  ASSERT_EQ(Kestle({"db", "sample", dir_, "--orders", "5"}).exit_code, 0);
  std::string front = dir_ + "/orders.db";

  Outcome missing_table = Kestle({"db", "sql", front, "SELECT * FROM Nowhere"});
  EXPECT_EQ(missing_table.exit_code, 1);
  EXPECT_EQ(missing_table.err, "kestle: error 1: no such table: Nowhere\n");

  Outcome two = Kestle({"db", "sql", front, "DELETE FROM Status; DELETE FROM VersionControl"});
  EXPECT_EQ(two.exit_code, 1);
  EXPECT_EQ(two.err, "kestle: error 1: Characters found after end of SQL statement.\n");

  Outcome no_table = Kestle({"db", "link", front, dir_ + "/orders_be.db", "Nope"});
  EXPECT_EQ(no_table.exit_code, 1);
  EXPECT_NE(no_table.err.find("no table named 'Nope'"), std::string::npos) << no_table.err;

  Outcome shadowed = Kestle({"db", "link", front, front, "BackupManagerTable"});
  EXPECT_EQ(shadowed.exit_code, 1);
  EXPECT_NE(shadowed.err.find("has a local table named 'BackupManagerTable'"), std::string::npos)
      << shadowed.err;

  EXPECT_EQ(Kestle({"db", "sample", dir_ + "/absent"}).exit_code, 1);
  EXPECT_EQ(Kestle({"db", "sql", front}).exit_code, 2);
  EXPECT_EQ(Kestle({"db", "sql", dir_ + "/absent.db", "SELECT 1"}).exit_code, 2);
  EXPECT_EQ(Kestle({"db"}).exit_code, 2);
  Outcome help = Kestle({"db", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* word : {"sample", "link", "sql", "kestle_links"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace kestle::cli
