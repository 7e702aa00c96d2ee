// The `kestle archive`, `backup` and `ship` commands end to end on sample
// databases: options, exit codes and messages. What the jobs do to the
// database is the Archiver's and the shipping classes' tests' subject.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "cli/cli_test_util.h"
#include "db/db_test_util.h"
#include "db/sample_database.h"

namespace kestle::cli {
namespace {

const std::string kBoxLine = "Orvanta Kestle ActiveX Component: ";

class CliArchiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pristine_ = new testing::ScratchDir;
    db::WriteSampleDatabase(pristine_->path(), 3000);
  }
  static void TearDownTestSuite() { delete pristine_; }

  void SetUp() override {
    // Each test works on its own copy, its links rewritten to its back-end.
    ASSERT_EQ(
        std::system(("cp '" + pristine_->path() + "'/orders*.db '" + dir_.path() + "'/").c_str()),
        0);
    db::testing::RunScript(front_, "UPDATE kestle_links SET connect = ';DATABASE=" + back_ + "'");
  }

  testing::Outcome Kestle(std::vector<std::string> args) {
    args.insert(args.begin() + 1, front_);
    return testing::Kestle(dir_, args);
  }
  // The order and transaction counts of the back-end.
  std::string Orders() {
    return db::testing::Scalar(*db::OpenSqliteDatabase(back_),
                               "SELECT (SELECT count(*) FROM [purchase orders]) & '/' & "
                               "(SELECT count(*) FROM [sales orders]) & '/' & "
                               "(SELECT count(*) FROM [inventory transactions])");
  }
  // The first number that `pattern`'s group matches in `text` (-1: none).
  static int Count(const std::string& text, const char* pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? std::stoi(m[1]) : -1;
  }

  static testing::ScratchDir* pristine_;
  testing::ScratchDir dir_;
  std::string front_ = dir_.File("orders.db");
  std::string back_ = dir_.File("orders_be.db");
};

testing::ScratchDir* CliArchiveTest::pristine_;

TEST_F(CliArchiveTest, DryRunListsWithoutDeletingAndTheRunReportsTheSameCount) {
  const std::string before = Orders();
  const testing::Outcome dry =
      Kestle({"archive", "--end", "2025-06-30", "--lpc", "2025-07-01", "--dry-run"});
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  const int listed = Count(dry.out, "\\n(\\d+) closed and archived orders would");
  EXPECT_GT(listed, 0) << dry.out;
  EXPECT_EQ(Orders(), before);

  const testing::Outcome run = Kestle({"archive", "--end", "2025-06-30", "--lpc", "2025-07-01"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Count(run.out, "(\\d+) closed and archived orders removed"), listed) << run.out;
  EXPECT_NE(Orders(), before);

  // --all, with the other date forms.
  const testing::Outcome all = Kestle(
      {"archive", "--end", "2025-06-30 00:00", "--lpc", "2025-07-01T08:00", "--dry-run", "--all"});
  ASSERT_EQ(all.exit_code, 0) << all.err;
  EXPECT_GT(Count(all.out, "(\\d+) orders of any status would"), 0) << all.out;
}

TEST_F(CliArchiveTest, BadDatesExitTwoRefusedDatesThreeAndNothingRuns) {
  const std::string before = Orders();
  const std::vector<std::string> dates[] = {
      {"--end", "2025-06-31", "--lpc", "2025-07-01"},
      {"--end", "2025-06-30", "--lpc", "yesterday"},
      {"--end", "2025-06-30"},
      {"--end", "2025-06-30 00:00", "--lpc", "2025-06-30 23:59"},
      {"--end", "2025-07-30", "--lpc", "2025-06-30", "--dry-run"}};
  const int exit_codes[] = {2, 2, 2, 3, 3};
  for (size_t i = 0; i < std::size(dates); ++i) {
    std::vector<std::string> args = {"archive"};
    args.insert(args.end(), dates[i].begin(), dates[i].end());
    EXPECT_EQ(Kestle(args).exit_code, exit_codes[i]) << i;
  }
  EXPECT_EQ(Orders(), before);
}

TEST_F(CliArchiveTest, AFailedRunExitsOneWithTheBoxLine) {
  db::testing::RunScript(front_, "DROP TABLE Archiver_ListToDelete");
  const testing::Outcome run = Kestle({"archive", "--end", "2025-06-30", "--lpc", "2025-07-01"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind(kBoxLine, 0), 0u) << run.err;
}

TEST_F(CliArchiveTest, BackupPrintsTheCopyAndPassesTheName) {
  const testing::Outcome run = Kestle({"backup", "--name", "nightly"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::regex name(
      std::regex_replace(dir_.path(), std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") +
      "/Backup/\\d{6}-\\d{4}_orders_be\\.db\\n");
  EXPECT_TRUE(std::regex_match(run.out, name)) << run.out;
  EXPECT_EQ(db::testing::Scalar(*db::OpenSqliteDatabase(front_),
                                "SELECT BackupName & '|' & BackupLocation FROM BackupManagerTable"),
            "nightly|" + run.out.substr(0, run.out.size() - 1));

  const testing::Outcome to = Kestle({"backup", "--to", dir_.File("b2")});
  ASSERT_EQ(to.exit_code, 0) << to.err;
  EXPECT_EQ(to.out.rfind(dir_.File("b2/"), 0), 0u) << to.out;

  const testing::Outcome quote = Kestle({"backup", "--name", "Joe's"});
  EXPECT_EQ(quote.exit_code, 1);
  EXPECT_EQ(quote.out, "");
  EXPECT_EQ(quote.err.rfind(kBoxLine, 0), 0u) << quote.err;
  const testing::Outcome parent = Kestle({"backup", "--to", dir_.File("no/such")});
  EXPECT_EQ(parent.exit_code, 1);
  EXPECT_EQ(parent.err, kBoxLine + "76: Path not found\n");
}

TEST_F(CliArchiveTest, ShipExitsOneExactlyWhenAMessageWasShown) {
  const testing::Outcome ok = testing::Kestle(dir_, {"ship", "ups", front_});
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(testing::Kestle(dir_, {"ship", "fedex", front_, "--recent"}).exit_code, 0);

  db::testing::RunScript(back_, "DROP TABLE VersionControl");
  const testing::Outcome ups = testing::Kestle(dir_, {"ship", "ups", front_, "--recent"});
  EXPECT_EQ(ups.exit_code, 1);
  EXPECT_TRUE(std::regex_match(
      ups.err, std::regex(kBoxLine + "\\d+ [^\\n]*VersionControl[^\\n]*\\n"
                                     "ShipRush: There was an error trying to open ShipRush.\\n")))
      << ups.err;
  const testing::Outcome fedex = testing::Kestle(dir_, {"ship", "fedex", front_});
  EXPECT_EQ(fedex.exit_code, 1);
  EXPECT_EQ(fedex.err, "ShipRush: There was an error trying to open ShipRush.\n");
  EXPECT_EQ(testing::Kestle(dir_, {"ship", "dhl", front_}).exit_code, 2);
}

TEST_F(CliArchiveTest, HelpTextsNameTheOptions) {
  for (const char* cmd : {"archive", "backup", "ship"}) {
    const testing::Outcome help = testing::Kestle(dir_, {"help", cmd});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos) << cmd;
  }
  EXPECT_NE(testing::Kestle(dir_, {"help", "archive"}).out.find("--dry-run"), std::string::npos);
}

}  // namespace
}  // namespace kestle::cli
