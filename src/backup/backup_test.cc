// The back-end locator and the backup copy: connect-string parsing, the
// backup folder and file name, the file-system object and the record
// statement, on real temporary files with a fixed clock.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "backup/backend_locator.h"
#include "backup/backup_copy.h"
#include "platform/error.h"
#include "platform/fake_env.h"

namespace kestle::backup {
namespace {

// Table definitions only: all the locator reads.
class TableDefsOnly : public db::Database {
 public:
  struct Def : db::TableDef {
    Def(std::string n, std::string c) : name(std::move(n)), connect(std::move(c)) {}
    std::string Name() override { return name; }
    std::string Connect() override { return connect; }
    std::string name, connect;
  };
  void Add(std::string name, std::string connect) {
    defs_.push_back(std::make_shared<Def>(std::move(name), std::move(connect)));
  }
  bool fail = false;

  void Execute(const std::string&) override { throw RuntimeError(3001, "not scripted"); }
  std::shared_ptr<db::Recordset> OpenRecordset(const std::string&) override {
    throw RuntimeError(3001, "not scripted");
  }
  std::vector<std::shared_ptr<db::TableDef>> TableDefs() override {
    if (fail) throw RuntimeError(3420, "Object invalid or no longer set.");
    return defs_;
  }

 private:
  std::vector<std::shared_ptr<db::TableDef>> defs_;
};

class BackupFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestle_backup_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    backend_ = dir_ + "/Orders_be.mdb";
    Write(backend_, "back-end bytes");
    db_ = std::make_shared<TableDefsOnly>();
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }
  std::string Locate() { return findBackendPath(db_, env_); }

  FakeEnv env_;
  std::string dir_;
  std::string backend_;
  std::shared_ptr<TableDefsOnly> db_;
};

TEST(NzValue, SubstitutesOnlyNull) {
  EXPECT_EQ(nzValue(db::Value(int64_t{5}), db::Value(int64_t{0})), db::Value(int64_t{5}));
  EXPECT_EQ(nzValue(db::Value(), db::Value(int64_t{0})), db::Value(int64_t{0}));
  EXPECT_TRUE(nzValue(db::Value()).is_null());
  EXPECT_EQ(nzValue(db::Value("")), db::Value(""));
}

TEST_F(BackupFilesTest, LocatorTakesTheFirstLinkedTablesDatabasePath) {
  EXPECT_EQ(Locate(), "");  // no tables
  db_->Add("Archiver_ListToDelete", "");
  EXPECT_EQ(Locate(), "");                  // local tables only
  db_->Add("Customers", "ODBC;DSN=Sales");  // a connect string without the key
  db_->Add("Orders", ";DATABASE=" + backend_);
  db_->Add("Other", ";DATABASE=" + dir_ + "/missing.mdb");
  EXPECT_EQ(Locate(), backend_);
}

TEST_F(BackupFilesTest, LocatorCutsAtTheNextSemicolonAndIgnoresKeyCase) {
  db_->Add("Orders", "MS Access;PWD=x;database=" + backend_ + ";TABLE=Orders");
  EXPECT_EQ(Locate(), backend_);
}

TEST_F(BackupFilesTest, LocatorGivesEmptyForAnEmptyOrMissingPath) {
  const std::string connects[] = {";DATABASE=;PWD=x", ";DATABASE=", ";DATABASE=" + backend_ + "x",
                                  ";DATABASE=" + dir_};  // a folder is not a file
  for (const std::string& connect : connects) {
    auto db = std::make_shared<TableDefsOnly>();
    db->Add("Orders", connect);
    EXPECT_EQ(findBackendPath(db, env_), "") << connect;
  }
}

TEST_F(BackupFilesTest, OnlyTheFirstLinkedTableCounts) {
  db_->Add("A", ";DATABASE=" + dir_ + "/gone.mdb");
  db_->Add("B", ";DATABASE=" + backend_);
  EXPECT_EQ(Locate(), "");
}

TEST_F(BackupFilesTest, HiddenFilesAndFailuresGiveEmpty) {
  Write(dir_ + "/.hidden.mdb", "x");
  db_->Add("Orders", ";DATABASE=" + dir_ + "/.hidden.mdb");
  EXPECT_EQ(Locate(), "");
  EXPECT_EQ(findBackendPath(nullptr, env_), "");
  auto failing = std::make_shared<TableDefsOnly>();
  failing->Add("Orders", ";DATABASE=" + backend_);
  failing->fail = true;
  EXPECT_EQ(findBackendPath(failing, env_), "");
  EXPECT_TRUE(env_.boxes().empty());
}

TEST_F(BackupFilesTest, CopyIsNamedFromTheClockIntoTheDefaultFolder) {
  db_->Add("Orders", ";DATABASE=" + backend_);
  const BackupCopy copy = copyBackend(db_, "", env_, {});
  EXPECT_EQ(copy.location, dir_ + "/Backup/260105-0703_Orders_be.mdb");
  EXPECT_EQ(copy.date_text, "1/5/2026 7:03:00 AM");
  EXPECT_EQ(Read(copy.location), "back-end bytes");

  env_.set_now(MakeDate(2026, 12, 31, 23, 59, 59));
  EXPECT_EQ(copyBackend(db_, dir_ + "/Backup/", env_, {}).location,
            dir_ + "/Backup/261231-2359_Orders_be.mdb");
}

TEST_F(BackupFilesTest, SeparatorIsAppendedOnlyWhenMissing) {
  db_->Add("Orders", ";DATABASE=" + backend_);
  ASSERT_EQ(::mkdir((dir_ + "/b").c_str(), 0777), 0);
  EXPECT_EQ(copyBackend(db_, dir_ + "/b", env_, {}).location,
            dir_ + "/b/260105-0703_Orders_be.mdb");
  EXPECT_EQ(copyBackend(db_, dir_ + "/b/", env_, {}).location,
            dir_ + "/b/260105-0703_Orders_be.mdb");
}

TEST_F(BackupFilesTest, ABackslashIsAnOrdinaryNameCharacterOnPosix) {
  db_->Add("Orders", ";DATABASE=" + backend_);
  const BackupCopy copy = copyBackend(db_, dir_ + "/x\\", env_, {});
  EXPECT_EQ(copy.location, dir_ + "/x\\/260105-0703_Orders_be.mdb");
  EXPECT_TRUE(Exists(copy.location));
}

TEST_F(BackupFilesTest, TheCopierReplacesEnvCopyFile) {
  db_->Add("Orders", ";DATABASE=" + backend_);
  std::vector<std::pair<std::string, std::string>> calls;
  FileCopier copier = [&](const std::string& from, const std::string& to) {
    calls.emplace_back(from, to);
  };
  env_.set_copy_fault(err::kDiskFull);  // Env::CopyFile must not be used
  const BackupCopy copy = copyBackend(db_, dir_, env_, copier);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, backend_);
  EXPECT_EQ(calls[0].second, copy.location);
}

TEST_F(BackupFilesTest, FailuresRaiseAndLeaveNoCopy) {
  // No back-end: nothing is created, not even the default folder.
  EXPECT_THROW(copyBackend(db_, "", env_, {}), RuntimeError);
  EXPECT_FALSE(Exists(dir_ + "/Backup"));

  db_->Add("Orders", ";DATABASE=" + backend_);
  try {
    copyBackend(db_, dir_ + "/no/such", env_, {});
    FAIL() << "a folder under a missing parent was made";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kPathNotFound);
  }
  EXPECT_FALSE(Exists(dir_ + "/no"));

  // A failed copy leaves the new folder in place and no file in it.
  env_.set_copy_fault(err::kDiskFull);
  EXPECT_THROW(copyBackend(db_, "", env_, {}), RuntimeError);
  EXPECT_TRUE(Exists(dir_ + "/Backup"));
  EXPECT_FALSE(Exists(dir_ + "/Backup/260105-0703_Orders_be.mdb"));
}

}  // namespace
}  // namespace kestle::backup
