// The files behind `kestle` commands, with real processes: read-only commands
// leave no file behind and keep journal modes, and links name one file
// whatever the current folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_test_util.h"
#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"

namespace kestle::cli {
namespace {

class CliDbFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Kestle({"db", "sample", dir_.path(), "--orders", "20"}).exit_code, 0);
  }
  testing::Outcome Kestle(const std::vector<std::string>& args) {
    return testing::Kestle(dir_, args);
  }
  // The -wal, -shm and -journal files in the folder.
  std::vector<std::string> SideFiles() {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      std::string name = entry.path().filename().string();
      for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        if (name.ends_with(suffix)) found.push_back(name);
      }
    }
    return found;
  }
  // "kestle: error N: TEXT" as the tool reports DAO's error N.
  static std::string ErrorLine(int number, const std::string& argument = "") {
    return "kestle: error " + std::to_string(number) + ": " + db::jet::Text(number, argument);
  }

  testing::ScratchDir dir_;
  std::string front_ = dir_.File("orders.db");
  std::string back_ = dir_.File("orders_be.db");
};

TEST_F(CliDbFilesTest, ReadOnlyCommandsLeaveNoFilesAndTheOwnerStillWrites) {
  ASSERT_TRUE(SideFiles().empty());
  EXPECT_EQ(Kestle({"db", "sql", front_, "SELECT count(*) AS n FROM [sales orders]"}).exit_code, 0);
  EXPECT_EQ(Kestle({"ship", "ups", front_}).exit_code, 0);
  EXPECT_EQ(Kestle({"ship", "fedex", front_, "--recent"}).exit_code, 0);
  EXPECT_EQ(SideFiles(), std::vector<std::string>{});
  // The files the tool made stay in WAL mode, and the next writer works.
  testing::Outcome write = Kestle({"db", "sql", front_, "DELETE FROM Status WHERE StatusId = 5"});
  EXPECT_EQ(write.exit_code, 0) << write.err;
  EXPECT_EQ(write.out, "1 row affected\n");
  EXPECT_EQ(db::testing::Scalar(*db::OpenSqliteDatabase(back_, db::OpenMode::kReadOnly),
                                "SELECT count(*) FROM Status"),
            "4");
  EXPECT_EQ(SideFiles(), std::vector<std::string>{});
  // A query on an empty file fails and leaves it empty.
  testing::WriteBytes(dir_.File("empty.db"), "");
  testing::Outcome empty = Kestle({"db", "sql", dir_.File("empty.db"), "SELECT 1 AS x"});
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_NE(empty.err.find(ErrorLine(db::jet::kUnrecognizedFormat, dir_.File("empty.db"))),
            std::string::npos)
      << empty.err;
  EXPECT_EQ(std::filesystem::file_size(dir_.File("empty.db")), 0u);
}

// Another user, who may read the files but not write them: SQLite would make
// -wal and -shm files owned by that user, which the files' owner could not
// write. Needs root, to run `kestle` as the user nobody.
TEST_F(CliDbFilesTest, AReaderWhoMayNotWriteLeavesNothingBehind) {
  const std::string as_nobody =
      "setpriv --reuid=65534 --regid=65534 --clear-groups " + testing::ShellQuote(KESTLE_BINARY);
  auto run = [&](const std::string& args) {
    int status = std::system((as_nobody + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  if (geteuid() != 0 || run("--version") != 0) GTEST_SKIP() << "needs root and setpriv";
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  const std::string front = testing::ShellQuote(front_);
  EXPECT_EQ(run("db sql " + front + " 'SELECT count(*) AS n FROM [sales orders]'"), 0);
  EXPECT_EQ(run("ship ups " + front), 0);
  EXPECT_EQ(run("db sql " + front + " 'DELETE FROM Status'"), 1);
  EXPECT_EQ(SideFiles(), std::vector<std::string>{});
}

TEST_F(CliDbFilesTest, LinksNameOneFileWhateverTheCurrentFolder) {
  // A path holding ";" is refused before anything is written.
  std::filesystem::create_directory(dir_.File("a;b"));
  testing::Outcome sample = Kestle({"db", "sample", dir_.File("a;b")});
  EXPECT_EQ(sample.exit_code, 1);
  EXPECT_NE(sample.err.find("error 3044"), std::string::npos) << sample.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.File("a;b")));
  std::filesystem::copy_file(back_, dir_.File("a;b/be.db"));
  testing::Outcome link = Kestle({"db", "link", dir_.File("fe.db"), dir_.File("a;b/be.db")});
  EXPECT_EQ(link.exit_code, 1);
  EXPECT_NE(link.err.find("error 3044"), std::string::npos) << link.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("fe.db")));

  // A link given a relative path stores it absolute; one written relative is
  // taken from the front-end's folder by the engine and the backup alike.
  std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  testing::Outcome relative = Kestle({"db", "link", "fe.db", "orders_be.db", "Status"});
  std::filesystem::current_path(cwd);
  ASSERT_EQ(relative.exit_code, 0) << relative.err;
  db::testing::RunScript(dir_.File("fe.db"),
                         "CREATE TABLE stored AS SELECT connect FROM kestle_links;"
                         "UPDATE kestle_links SET connect = ';DATABASE=orders_be.db'");
  EXPECT_EQ(db::testing::Scalar(*db::OpenSqliteDatabase(dir_.File("fe.db")),
                                "SELECT connect FROM stored"),
            ";DATABASE=" + back_);
  db::testing::RunScript(front_, "UPDATE kestle_links SET connect = ';DATABASE=orders_be.db'");
  // Elsewhere, a decoy of the same name where the current folder would lead.
  std::filesystem::create_directory(dir_.File("elsewhere"));
  db::testing::RunScript(dir_.File("elsewhere/orders_be.db"), "CREATE TABLE decoy (x)");
  std::filesystem::current_path(dir_.File("elsewhere"));
  testing::Outcome count = Kestle({"db", "sql", front_, "SELECT count(*) AS n FROM Status"});
  testing::Outcome backup = Kestle({"backup", front_, "--to", dir_.File("saved")});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(count.out, "n\n-\n5\n(1 row)\n") << count.err;
  ASSERT_EQ(backup.exit_code, 0) << backup.err;
  std::string copy = backup.out.substr(0, backup.out.size() - 1);
  EXPECT_TRUE(copy.starts_with(dir_.File("saved/"))) << copy;
  EXPECT_EQ(db::testing::Scalar(*db::OpenSqliteDatabase(copy, db::OpenMode::kReadOnly),
                                "SELECT count(*) FROM Status"),
            "5");
}

}  // namespace
}  // namespace kestle::cli
