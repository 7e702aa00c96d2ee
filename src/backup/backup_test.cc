// The back-end locator and the backup copy: connect-string parsing, the
// backup folder and file name, the copier and the failures, on real
// temporary files with a fixed clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "backup/backend_locator.h"
#include "backup/backup_copy.h"
#include "platform/error.h"
#include "platform/fake_env.h"
#include "platform/scratch_test_util.h"

namespace kestle::backup {
namespace {

// Linked tables only: all the locator reads. Statements are never sent.
class LinkedTables : public db::Database {
 public:
  struct Def : db::TableDef {
    explicit Def(std::string c) : connect(std::move(c)) {}
    std::string Name() override { return "T"; }
    std::string Connect() override { return connect; }
    std::string connect;
  };
  explicit LinkedTables(const std::vector<std::string>& connects, bool fail = false) : fail_(fail) {
    for (const std::string& c : connects) defs_.push_back(std::make_shared<Def>(c));
  }
  void Execute(const std::string&) override { throw RuntimeError(3001, "not scripted"); }
  std::shared_ptr<db::Recordset> OpenRecordset(const std::string&) override {
    throw RuntimeError(3001, "not scripted");
  }
  std::vector<std::shared_ptr<db::TableDef>> TableDefs() override {
    if (fail_) throw RuntimeError(3420, "Object invalid or no longer set.");
    return defs_;
  }

 private:
  bool fail_;
  std::vector<std::shared_ptr<db::TableDef>> defs_;
};

class BackupFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteBytes(backend_, "back-end bytes"); }

  // The locator's answer for linked tables with these connect strings.
  std::string Locate(const std::vector<std::string>& connects) {
    return findBackendPath(std::make_shared<LinkedTables>(connects), env_);
  }
  // A database whose only linked table names the back-end.
  std::shared_ptr<db::Database> Linked() {
    return std::make_shared<LinkedTables>(std::vector<std::string>{";DATABASE=" + backend_});
  }

  FakeEnv env_;
  testing::ScratchDir dir_;
  std::string backend_ = dir_.File("Orders_be.mdb");
};

TEST(NzValue, SubstitutesOnlyNull) {
  EXPECT_EQ(nzValue(db::Value(int64_t{5}), db::Value(int64_t{0})), db::Value(int64_t{5}));
  EXPECT_EQ(nzValue(db::Value(), db::Value(int64_t{0})), db::Value(int64_t{0}));
  EXPECT_TRUE(nzValue(db::Value()).is_null());
  EXPECT_EQ(nzValue(db::Value("")), db::Value(""));
}

TEST_F(BackupFilesTest, LocatorTakesTheFirstLinkedTablesExistingFile) {
  testing::WriteBytes(dir_.File(".hidden.mdb"), "x");
  const std::string at = ";DATABASE=" + backend_;
  struct Case {
    std::vector<std::string> connects;
    std::string found;
  };
  const Case cases[] = {
      {{}, ""},
      {{""}, ""},  // local tables only
      // A connect string without the key is skipped; later links do not count.
      {{"", "ODBC;DSN=Sales", at, ";DATABASE=" + dir_.File("missing.mdb")}, backend_},
      // The path ends at the next semicolon; the key's case does not matter.
      {{"MS Access;PWD=x;database=" + backend_ + ";TABLE=Orders"}, backend_},
      // Only the first linked table counts, even when its file is gone.
      {{";DATABASE=" + dir_.File("gone.mdb"), at}, ""},
      {{";DATABASE=;PWD=x"}, ""},
      {{";DATABASE="}, ""},
      {{at + "x"}, ""},
      {{";DATABASE=" + dir_.path()}, ""},  // a folder is not a file
      {{";DATABASE=" + dir_.File(".hidden.mdb")}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Locate(c.connects), c.found) << (c.connects.empty() ? "" : c.connects.back());
  }
}

TEST_F(BackupFilesTest, LocatorGivesEmptyOnAnyFailure) {
  EXPECT_EQ(findBackendPath(nullptr, env_), "");
  auto failing = std::make_shared<LinkedTables>(std::vector<std::string>{";DATABASE=" + backend_},
                                                /*fail=*/true);
  EXPECT_EQ(findBackendPath(failing, env_), "");
  EXPECT_TRUE(env_.boxes().empty());
}

TEST_F(BackupFilesTest, CopyIsNamedFromTheClockInTheFolderGiven) {
  const BackupCopy copy = copyBackend(Linked(), "", env_, {});
  EXPECT_EQ(copy.location, dir_.File("Backup/260105-0703_Orders_be.mdb"));
  EXPECT_EQ(copy.date_text, "1/5/2026 7:03:00 AM");
  EXPECT_EQ(testing::ReadBytes(copy.location), "back-end bytes");

  env_.set_now(MakeDate(2026, 12, 31, 23, 59, 59));
  const std::string name = "/261231-2359_Orders_be.mdb";
  // The separator is added only when missing; a backslash is an ordinary
  // name character on POSIX.
  for (const std::string& folder : {dir_.File("Backup/"), dir_.File("Backup"), dir_.File("x\\")}) {
    const std::string expected =
        (folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder) + name;
    EXPECT_EQ(copyBackend(Linked(), folder, env_, {}).location, expected);
    EXPECT_TRUE(testing::Exists(expected));
  }
}

TEST_F(BackupFilesTest, RelativeBackupFolderStaysRelative) {
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  const std::string location = copyBackend(Linked(), "rel", env_, {}).location;
  ASSERT_EQ(chdir(old_cwd), 0);
  EXPECT_EQ(location, "rel/260105-0703_Orders_be.mdb");
  EXPECT_TRUE(testing::Exists(dir_.File(location)));
}

TEST_F(BackupFilesTest, TheCopierReplacesEnvCopyFileTo) {
  std::vector<std::pair<std::string, std::string>> calls;
  FileCopier copier = [&](const std::string& from, const std::string& to) {
    calls.emplace_back(from, to);
  };
  env_.set_copy_fault(err::kDiskFull);  // Env::CopyFileTo must not be used
  const BackupCopy copy = copyBackend(Linked(), dir_.path(), env_, copier);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, backend_);
  EXPECT_EQ(calls[0].second, copy.location);
}

TEST_F(BackupFilesTest, FailuresRaiseAndLeaveNoCopy) {
  // No back-end: nothing is created, not even the default folder.
  EXPECT_THROW(
      copyBackend(std::make_shared<LinkedTables>(std::vector<std::string>{}), "", env_, {}),
      RuntimeError);
  EXPECT_FALSE(testing::Exists(dir_.File("Backup")));

  EXPECT_EQ(testing::ErrorNumberOf([&] { copyBackend(Linked(), dir_.File("no/such"), env_, {}); }),
            err::kPathNotFound);
  EXPECT_FALSE(testing::Exists(dir_.File("no")));

  // A failed copy leaves the new folder in place and no file in it.
  env_.set_copy_fault(err::kDiskFull);
  EXPECT_EQ(testing::ErrorNumberOf([&] { copyBackend(Linked(), "", env_, {}); }), err::kDiskFull);
  EXPECT_TRUE(testing::Exists(dir_.File("Backup")));
  EXPECT_FALSE(testing::Exists(dir_.File("Backup/260105-0703_Orders_be.mdb")));
}

}  // namespace
}  // namespace kestle::backup
