// The `kestle archive`, `backup` and `ship` commands end to end on sample
// databases: options, exit codes, messages, the archive's lock and its
// question on a terminal. What the jobs do to the database is the
// Archiver's and the shipping classes' tests' subject.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "cli/cli_test_util.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sample_database.h"
#include "platform/env.h"

namespace kestle::cli {
namespace {

const std::string kBoxLine = "Orvanta Kestle ActiveX Component: ";

class CliArchiveTest : public testing::SampleCopyTest<3000> {
 protected:
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
  // The rows of [purchase orders] and [sales orders] together.
  int OrderRows() {
    return std::stoi(db::testing::Scalar(*db::OpenSqliteDatabase(back_),
                                         "SELECT (SELECT count(*) FROM [purchase orders]) + "
                                         "(SELECT count(*) FROM [sales orders])"));
  }
  // The first number that `pattern`'s group matches in `text` (-1: none).
  static int Count(const std::string& text, const char* pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? std::stoi(m[1]) : -1;
  }
};

const std::vector<std::string> kRun = {"archive", "--end", "2025-06-30", "--lpc", "2025-07-01"};
std::vector<std::string> With(std::vector<std::string> args, const std::string& extra) {
  args.push_back(extra);
  return args;
}

TEST_F(CliArchiveTest, DryRunFlagsSharedNumbersAndTheRunRemovesTheOrdersItCounted) {
  // An open sales order that shares its number with a listed purchase order
  // goes with it: the run deletes by number from both order tables.
  const testing::Outcome first = Kestle(With(kRun, "--dry-run"));
  ASSERT_EQ(first.exit_code, 0) << first.err;
  const std::string shared = first.out.substr(first.out.find("\nPO") + 1, 8);
  db::testing::RunScript(
      back_, "INSERT INTO [sales orders] (SalesOrderID, StatusId) VALUES ('" + shared + "', 1)");
  const std::string before = Orders();
  const int rows_before = OrderRows();

  const testing::Outcome dry = Kestle(With(kRun, "--dry-run"));
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.out.rfind("a run would delete from " + back_ + "\n", 0), 0u) << dry.out;
  EXPECT_NE(dry.out.find("\n" + shared + "\t"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("\tpurchase AND sales order\n"), std::string::npos);
  const int listed = Count(dry.out,
                           "\\n(\\d+) closed and archived orders would be removed \\(\\d+ numbers "
                           "listed, 1 of them both a purchase and a sales order");
  EXPECT_GT(listed, 0) << dry.out;
  EXPECT_EQ(Orders(), before);

  const testing::Outcome run = Kestle(kRun);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("deleting from " + back_ + "\n", 0), 0u) << run.out;
  EXPECT_EQ(Count(run.out, "(\\d+) closed and archived orders removed"), listed) << run.out;
  EXPECT_EQ(OrderRows(), rows_before - listed);

  // --all, with the other date forms.
  const testing::Outcome all =
      Kestle({"archive", "--end", "6/30/2025", "--lpc", "2025-07-01T08:00", "--dry-run", "--all"});
  ASSERT_EQ(all.exit_code, 0) << all.err;
  EXPECT_GT(Count(all.out, "(\\d+) orders of any status would"), 0) << all.out;
}

TEST_F(CliArchiveTest, OneArchivePerFrontEndAtATime) {
  const std::string before = Orders();
  const std::string refused = "kestle: archive: another kestle archive is running on " + front_;
  {
    // Whoever holds the front-end's lock keeps every archive out, dry runs too.
    const std::unique_ptr<FileLock> held = Env::Default()->LockFile(front_);
    ASSERT_NE(held, nullptr);
    for (const auto& args : {kRun, With(kRun, "--dry-run"), With(kRun, "--yes")}) {
      const testing::Outcome o = Kestle(args);
      EXPECT_EQ(o.exit_code, 1);
      EXPECT_EQ(o.err.rfind(refused, 0), 0u) << o.err;
      EXPECT_EQ(o.out, "");
    }
  }
  // A run waiting for its answer on a terminal holds the lock until it ends.
  std::vector<std::string> args = kRun;
  args.insert(args.begin() + 1, front_);
  testing::TerminalKestle waiting(args);
  ASSERT_TRUE(waiting.WaitFor("[y/N] ")) << waiting.output();
  EXPECT_NE(waiting.output().find("deleting from " + back_), std::string::npos);
  const testing::Outcome second = Kestle(With(kRun, "--dry-run"));
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_EQ(second.err.rfind(refused, 0), 0u) << second.err;
  waiting.Type("n\n");
  EXPECT_EQ(waiting.Wait(), 1);
  EXPECT_NE(waiting.output().find("kestle: archive: nothing was deleted"), std::string::npos)
      << waiting.output();
  EXPECT_EQ(Orders(), before);
  EXPECT_EQ(Kestle(With(kRun, "--dry-run")).exit_code, 0);

  // --yes does not ask.
  args.push_back("--yes");
  testing::TerminalKestle yes(args);
  EXPECT_EQ(yes.Wait(), 0) << yes.output();
  EXPECT_EQ(yes.output().find("[y/N]"), std::string::npos) << yes.output();
  EXPECT_NE(Orders(), before);
}

TEST_F(CliArchiveTest, BackupFirstAndNothingDeletedWhenItFails) {
  const std::string before = Orders();
  // A file where the backup folder should be makes the backup fail.
  testing::WriteBytes(dir_.File("Backup"), "");
  const testing::Outcome failed = Kestle(With(kRun, "--backup"));
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.err.find("kestle: archive: the backup failed; nothing was deleted"),
            std::string::npos)
      << failed.err;
  EXPECT_EQ(Orders(), before);

  std::remove(dir_.File("Backup").c_str());
  const testing::Outcome run = Kestle(With(kRun, "--backup"));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("\n" + dir_.File("Backup/")), std::string::npos) << run.out;
  EXPECT_EQ(db::testing::Scalar(*db::OpenSqliteDatabase(front_),
                                "SELECT BackupName FROM BackupManagerTable"),
            "before archive");
  EXPECT_NE(Orders(), before);
  EXPECT_EQ(Kestle(With(With(kRun, "--backup"), "--dry-run")).exit_code, 2);
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

TEST_F(CliArchiveTest, AFailedRunExitsOneWithTheBoxLineAndTheStatement) {
  db::testing::RunScript(front_, "DROP TABLE Archiver_ListToDelete");
  const testing::Outcome run = Kestle(kRun);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(
      std::regex_match(run.err, std::regex(kBoxLine + "(\\d+: [^\\n]*)\\nkestle: error \\1: "
                                                      "DELETE \\* FROM Archiver_ListToDelete[^]*")))
      << run.err;
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
  EXPECT_EQ(parent.err.rfind(kBoxLine + "76: Path not found\nkestle: error 76: Path not found: " +
                                 dir_.File("no/such"),
                             0),
            0u)
      << parent.err;
}

TEST_F(CliArchiveTest, ShipExitsOneExactlyWhenAMessageWasShown) {
  const testing::Outcome ok = testing::Kestle(dir_, {"ship", "ups", front_});
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(testing::Kestle(dir_, {"ship", "fedex", front_, "--recent"}).exit_code, 0);

  db::testing::RunScript(back_, "DROP TABLE VersionControl");
  const testing::Outcome ups = testing::Kestle(dir_, {"ship", "ups", front_, "--recent"});
  EXPECT_EQ(ups.exit_code, 1);
  // The boxes, then the statement that failed.
  const std::string statement = "kestle: error \\d+: [^\\n]*: SELECT[^\\n]*VersionControl[^]*";
  EXPECT_TRUE(std::regex_match(
      ups.err, std::regex(kBoxLine +
                          "\\d+ [^\\n]*VersionControl[^\\n]*\\n"
                          "ShipRush: There was an error trying to open ShipRush.\\n" +
                          statement)))
      << ups.err;
  const testing::Outcome fedex = testing::Kestle(dir_, {"ship", "fedex", front_});
  EXPECT_EQ(fedex.exit_code, 1);
  EXPECT_TRUE(std::regex_match(
      fedex.err,
      std::regex("ShipRush: There was an error trying to open ShipRush.\\n" + statement)))
      << fedex.err;
  EXPECT_EQ(testing::Kestle(dir_, {"ship", "dhl", front_}).exit_code, 2);
}

}  // namespace
}  // namespace kestle::cli
