// The `kestle archive`, `backup` and `ship` commands end to end: the built
// tool run on sample databases, checked by exit code, output and the
// database's content afterwards.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "db/sample_database.h"

namespace kestle {
namespace {

struct Outcome {
  int exit_code;
  std::string out;
  std::string err;
};

class CliArchiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/kestle_cli_archive_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    pristine_ = tmpl;
    db::WriteSampleDatabase(pristine_, 3000);
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + pristine_ + "'").c_str()); }

  void SetUp() override {
    // Each test works on its own copy; the front-end's links still name the
    // pristine back-end, so they are rewritten to the copy.
    char tmpl[] = "/tmp/kestle_cli_archive_case_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(std::system(("cp '" + pristine_ + "'/orders*.db '" + dir_ + "'/").c_str()), 0);
    front_ = dir_ + "/orders.db";
    back_ = dir_ + "/orders_be.db";
    Query(front_, "UPDATE kestle_links SET connect = ';DATABASE=" + back_ + "'");
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  Outcome Kestle(const std::string& args) {
    const std::string out = dir_ + "/.out", err = dir_ + "/.err";
    const int status = std::system(
        (std::string(KESTLE_BINARY) + " " + args + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WEXITSTATUS(status), Slurp(out), Slurp(err)};
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The first column of the first row, "" when there is none.
  static std::string Query(const std::string& file, const std::string& sql) {
    return Query(file, "", sql);
  }
  // The same after running `setup` (e.g. an ATTACH) on the connection.
  static std::string Query(const std::string& file, const std::string& setup,
                           const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << setup;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    std::string v;
    if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
      v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
  }
  std::string Orders() {
    return Query(back_,
                 "SELECT (SELECT count(*) FROM [purchase orders]) || '/' || "
                 "(SELECT count(*) FROM [sales orders]) || '/' || "
                 "(SELECT count(*) FROM [inventory transactions])");
  }
  static std::string Quote(const std::string& s) { return "'" + s + "'"; }

  static std::string pristine_;
  std::string dir_, front_, back_;
};

std::string CliArchiveTest::pristine_;

TEST_F(CliArchiveTest, DryRunListsWithoutDeletingAndTheRunRemovesTheSameOrders) {
  const std::string before = Orders();
  const Outcome dry =
      Kestle("archive " + Quote(front_) + " --end 2025-06-30 --lpc 2025-07-01 --dry-run");
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(dry.out, m, std::regex("\\n(\\d+) closed and archived orders would")))
      << dry.out;
  const std::string listed = m[1];
  EXPECT_GT(std::stoi(listed), 0);
  EXPECT_EQ(Orders(), before);
  EXPECT_EQ(Query(front_, "SELECT count(DISTINCT OrderID) FROM Archiver_ListToDelete"), listed);

  const Outcome run = Kestle("archive " + Quote(front_) + " --end 2025-06-30 --lpc 2025-07-01");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find(listed + " closed and archived orders removed"), std::string::npos)
      << run.out;
  EXPECT_NE(Orders(), before);
  // Nothing that the list names is left in the back-end.
  EXPECT_EQ(Query(back_, "ATTACH " + Quote(front_) + " AS fe",
                  "SELECT count(*) FROM [inventory transactions] WHERE PurchaseOrderID IN "
                  "(SELECT OrderID FROM fe.Archiver_ListToDelete) OR SalesOrderID IN "
                  "(SELECT OrderID FROM fe.Archiver_ListToDelete)"),
            "0");
}

TEST_F(CliArchiveTest, AllRemovesMoreThanClosedOnly) {
  const Outcome closed =
      Kestle("archive " + Quote(front_) + " --end 2025-06-30 --lpc 2025-07-01 --dry-run");
  const Outcome all = Kestle("archive " + Quote(front_) +
                             " --end '2025-06-30 00:00' --lpc 2025-07-01T08:00 --dry-run --all");
  ASSERT_EQ(all.exit_code, 0) << all.err;
  std::smatch a, c;
  ASSERT_TRUE(std::regex_search(all.out, a, std::regex("(\\d+) orders of any status would")));
  ASSERT_TRUE(std::regex_search(closed.out, c, std::regex("(\\d+) closed and archived")));
  EXPECT_GT(std::stoi(a[1]), std::stoi(c[1]));
}

TEST_F(CliArchiveTest, DatesAreCheckedBeforeAnythingRuns) {
  const std::string before = Orders();
  EXPECT_EQ(Kestle("archive " + Quote(front_) + " --end 2025-06-31 --lpc 2025-07-01").exit_code, 2);
  EXPECT_EQ(Kestle("archive " + Quote(front_) + " --end 2025-06-30 --lpc yesterday").exit_code, 2);
  EXPECT_EQ(Kestle("archive " + Quote(front_) + " --end 2025-06-30").exit_code, 2);
  const Outcome same_day =
      Kestle("archive " + Quote(front_) + " --end '2025-06-30 00:00' --lpc '2025-06-30 23:59'");
  EXPECT_EQ(same_day.exit_code, 3);
  EXPECT_EQ(
      Kestle("archive " + Quote(front_) + " --end 2025-07-30 --lpc 2025-06-30 --dry-run").exit_code,
      3);
  EXPECT_EQ(Orders(), before);
}

TEST_F(CliArchiveTest, MissingWorkTableIsReportedInTheBoxLine) {
  Query(front_, "DROP TABLE Archiver_ListToDelete");
  const std::string before = Orders();
  const Outcome run = Kestle("archive " + Quote(front_) + " --end 2025-06-30 --lpc 2025-07-01");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("Orvanta Kestle ActiveX Component: ", 0), 0u) << run.err;
  EXPECT_EQ(Orders(), before);
}

TEST_F(CliArchiveTest, BackupPrintsTheCopyAndRecordsIt) {
  const Outcome run = Kestle("backup " + Quote(front_) + " --name nightly");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::regex name(std::regex_replace(dir_, std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") +
                        "/Backup/\\d{6}-\\d{4}_orders_be\\.db\\n");
  EXPECT_TRUE(std::regex_match(run.out, name)) << run.out;
  const std::string copy = run.out.substr(0, run.out.size() - 1);
  EXPECT_EQ(Query(copy, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(Query(front_, "SELECT BackupName || '|' || BackupLocation FROM BackupManagerTable"),
            "nightly|" + copy);

  const Outcome to = Kestle("backup " + Quote(front_) + " --to " + Quote(dir_ + "/b2"));
  ASSERT_EQ(to.exit_code, 0) << to.err;
  EXPECT_EQ(to.out.rfind(dir_ + "/b2/", 0), 0u) << to.out;
}

TEST_F(CliArchiveTest, BackupFailuresExitOne) {
  const Outcome quote = Kestle("backup " + Quote(front_) + " --name \"Joe's\"");
  EXPECT_EQ(quote.exit_code, 1);
  EXPECT_EQ(quote.out, "");
  EXPECT_EQ(quote.err.rfind("Orvanta Kestle ActiveX Component: ", 0), 0u) << quote.err;
  EXPECT_EQ(Query(front_, "SELECT count(*) FROM BackupManagerTable"), "0");

  const Outcome parent = Kestle("backup " + Quote(front_) + " --to " + Quote(dir_ + "/no/such"));
  EXPECT_EQ(parent.exit_code, 1);
  EXPECT_NE(parent.err.find("76: Path not found"), std::string::npos) << parent.err;
}

TEST_F(CliArchiveTest, ShipExitsOneExactlyWhenAMessageWasShown) {
  const Outcome ok = Kestle("ship ups " + Quote(front_));
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(Kestle("ship fedex " + Quote(front_) + " --recent").exit_code, 0);

  Query(back_, "DROP TABLE VersionControl");
  const Outcome ups = Kestle("ship ups " + Quote(front_) + " --recent");
  EXPECT_EQ(ups.exit_code, 1);
  EXPECT_TRUE(std::regex_match(
      ups.err, std::regex("Orvanta Kestle ActiveX Component: \\d+ [^\\n]*VersionControl[^\\n]*\\n"
                          "ShipRush: There was an error trying to open ShipRush.\\n")))
      << ups.err;
  const Outcome fedex = Kestle("ship fedex " + Quote(front_));
  EXPECT_EQ(fedex.exit_code, 1);
  EXPECT_EQ(fedex.err, "ShipRush: There was an error trying to open ShipRush.\n");
  EXPECT_EQ(Kestle("ship dhl " + Quote(front_)).exit_code, 2);
}

TEST_F(CliArchiveTest, HelpTextsNameTheOptions) {
  for (const char* cmd : {"archive", "backup", "ship"}) {
    const Outcome help = Kestle(std::string("help ") + cmd);
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos) << cmd;
  }
  EXPECT_NE(Kestle("help archive").out.find("--dry-run"), std::string::npos);
}

}  // namespace
}  // namespace kestle
