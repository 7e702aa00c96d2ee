// `kestle db` end to end: the built tool creates a sample, links tables into a
// new front-end and runs Jet statements, with its output and exit codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_test_util.h"

namespace kestle::cli {
namespace {

class CliDbTest : public ::testing::Test {
 protected:
  testing::Outcome Kestle(const std::vector<std::string>& args) {
    return testing::Kestle(dir_, args);
  }
  testing::Outcome Sql(const std::string& sql) { return Kestle({"db", "sql", front_, sql}); }

  testing::ScratchDir dir_;
  std::string front_ = dir_.File("orders.db");
  std::string back_ = dir_.File("orders_be.db");
};

TEST_F(CliDbTest, SampleThenQueriesAndActionStatements) {
  // The folder is made when missing.
  const std::string sub = dir_.File("sub");
  testing::Outcome sample = Kestle({"db", "sample", sub, "--orders", "300", "--seed", "3"});
  ASSERT_EQ(sample.exit_code, 0) << sample.err;
  EXPECT_EQ(sample.out, "front-end: " + sub + "/orders.db\nback-end:  " + sub + "/orders_be.db\n");
  front_ = sub + "/orders.db";

  testing::Outcome query = Sql("SELECT StatusId, Status FROM Status WHERE Status LIKE \"*ed\"");
  EXPECT_EQ(query.exit_code, 0) << query.err;
  EXPECT_EQ(query.out,
            "StatusId  Status\n"
            "--------  ---------\n"
            "       2  Closed\n"
            "       3  Archived\n"
            "       5  Cancelled\n"
            "(3 rows)\n");

  testing::Outcome count =
      Sql("SELECT count(*) AS n FROM [sales orders] WHERE SalesOrderID LIKE 'wo*'");
  ASSERT_EQ(count.exit_code, 0) << count.err;
  const int work_orders = std::stoi(count.out.substr(count.out.rfind("-\n") + 2));
  ASSERT_GT(work_orders, 0);

  const std::string remove = "DELETE * FROM [Sales Orders] WHERE SalesOrderID LIKE 'WO*';";
  testing::Outcome removed = Sql(remove);
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(removed.out, std::to_string(work_orders) + " rows affected\n");
  EXPECT_EQ(Sql(remove).out, "0 rows affected\n");
}

TEST_F(CliDbTest, LinkCreatesAFrontEndWithTheNamedTables) {
  ASSERT_EQ(Kestle({"db", "sample", dir_.path(), "--orders", "20"}).exit_code, 0);
  front_ = dir_.File("new_front.db");
  testing::Outcome link = Kestle({"db", "link", front_, back_, "STATUS", "sales orders"});
  ASSERT_EQ(link.exit_code, 0) << link.err;
  EXPECT_EQ(link.out, "linked Status\nlinked sales orders\n");
  EXPECT_EQ(Sql("SELECT name, connect FROM kestle_links ORDER BY 1").out,
            "name          connect\n------------  " + std::string(10 + back_.size(), '-') +
                "\nsales orders  ;DATABASE=" + back_ + "\nStatus        ;DATABASE=" + back_ +
                "\n(2 rows)\n");
  EXPECT_EQ(Sql("SELECT Status FROM Status WHERE StatusId = 1").out,
            "Status\n------\nOpen\n(1 row)\n");
  // The back-end's other tables are out of this front-end's view, as in Jet.
  testing::Outcome unlinked = Sql("SELECT * FROM [VersionControl]");
  EXPECT_EQ(unlinked.exit_code, 1);
  EXPECT_NE(unlinked.err.find("cannot find the input table or query 'VersionControl'"),
            std::string::npos)
      << unlinked.err;
  EXPECT_EQ(Kestle({"ship", "ups", front_}).exit_code, 1);

  // Linking every table, the ones linked before included, replaces their links.
  testing::Outcome all = Kestle({"db", "link", front_, back_});
  EXPECT_EQ(all.exit_code, 0) << all.err;
  EXPECT_EQ(Sql("SELECT count(*) AS n FROM kestle_links").out, "n\n-\n5\n(1 row)\n");
}

TEST_F(CliDbTest, SampleKeepsExistingFilesUnlessForced) {
  testing::WriteBytes(back_, "the user's rows");
  const testing::Outcome kept = Kestle({"db", "sample", dir_.path(), "--orders", "5"});
  EXPECT_EQ(kept.exit_code, 1);
  EXPECT_EQ(kept.err,
            "kestle: db sample: " + back_ + " exists; nothing was written (--force replaces it)\n");
  EXPECT_EQ(testing::ReadBytes(back_), "the user's rows");
  EXPECT_FALSE(testing::Exists(front_));

  const testing::Outcome forced = Kestle({"db", "sample", dir_.path(), "--orders", "5", "--force"});
  EXPECT_EQ(forced.exit_code, 0) << forced.err;
  EXPECT_EQ(Sql("SELECT count(*) AS n FROM Status").out, "n\n-\n5\n(1 row)\n");
}

TEST_F(CliDbTest, ErrorsAndUsage) {
  ASSERT_EQ(Kestle({"db", "sample", dir_.path(), "--orders", "5"}).exit_code, 0);
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string err;  // a part of standard error ("": not checked)
  };
  const Case cases[] = {
      // Run-time errors name the statement or file; usage errors the command.
      {{"db", "sql", front_, "SELECT * FROM Nowhere"},
       1,
       "kestle: error 3078: The Microsoft Jet database engine cannot find the input table or "
       "query 'Nowhere'.  Make sure it exists and that its name is spelled correctly.: SELECT * "
       "FROM Nowhere"},
      {{"db", "sql", front_, "DELETE FROM Status; DELETE FROM VersionControl"},
       1,
       "kestle: error 3142: Characters found after end of SQL statement.: DELETE FROM Status; "
       "DELETE FROM VersionControl"},
      {{"db", "sample", dir_.path()}, 1, "kestle: db sample: " + front_ + " exists"},
      {{"frobnicate"}, 2, "kestle: unknown command 'frobnicate'"},
      {{"db", "sample", dir_.path(), "--force", "--seed", "-5"},
       2,
       "kestle: db sample: --seed: not a whole number: -5\n"},
      {{"db", "sample", dir_.path(), "--force", "--orders", "1e3"},
       2,
       "kestle: db sample: --orders: not a whole number: 1e3\n"},
      {{"db", "link", front_, back_, "Nope"}, 1, "no table named 'Nope'"},
      {{"db", "link", front_, front_, "BackupManagerTable"},
       1,
       "has a local table named 'BackupManagerTable'"},
      {{"db", "sample", dir_.File("absent/sub")}, 1, ""},
      {{"db", "sql", front_}, 2, "kestle: db sql: give a STATEMENT, - or -f FILE"},
      {{"db", "sql", dir_.File("absent.db"), "SELECT 1"}, 2, "kestle: db sql: "},
      {{"db"}, 2, "kestle: db: "},
  };
  for (const Case& c : cases) {
    const testing::Outcome o = Kestle(c.args);
    EXPECT_EQ(o.exit_code, c.exit_code) << c.args.back();
    EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
    EXPECT_EQ(o.err.rfind("kestle: ", 0), 0u) << o.err;
  }
  // Each command's help, with a word only its own text has.
  const std::pair<std::vector<std::string>, const char*> kHelps[] = {
      {{"db", "--help"}, "kestle_links"},
      {{"help", "iif"}, "SALESTAXCODE"},
      {{"help", "archive"}, "FRONT.kestle-lock"},
      {{"help", "backup"}, "Exit codes"},
      {{"help", "ship"}, "Exit codes"}};
  for (const auto& [args, word] : kHelps) {
    const testing::Outcome help = Kestle(args);
    EXPECT_EQ(help.exit_code, 0) << args.back();
    EXPECT_NE(help.out.find(word), std::string::npos) << args.back();
  }
}

}  // namespace
}  // namespace kestle::cli
