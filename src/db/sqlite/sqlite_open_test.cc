// The SQLite engine's files: what opening a front-end writes in each mode
// (journal modes, -wal/-shm files, empty and foreign files), the DAO errors of
// statements and of back-ends that are missing, foreign or locked by another
// process, and the texts of back-end paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::LockHolder;
using testing::RunScript;
using testing::Scalar;
using testing::TempDir;

// The journal mode a file's header records: "wal" or "rollback".
std::string HeaderMode(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[20] = {};
  in.read(head, sizeof head);
  return head[18] == 2 && head[19] == 2 ? "wal" : "rollback";
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The DAO error that `run` raises, as "number: description".
template <typename F>
std::string ErrorOf(F run) {
  try {
    run();
  } catch (const RuntimeError& e) {
    return std::to_string(e.number()) + ": " + e.description();
  }
  return "no error";
}

std::string Dao(int number, const std::string& argument = "") {
  return std::to_string(number) + ": " + jet::Text(number, argument);
}

// A front-end fe.db linking [sales orders] of be.db, both in rollback mode.
class OpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    back_ = dir_.File("be.db");
    front_ = dir_.File("fe.db");
    RunScript(back_,
              "CREATE TABLE [sales orders] (SalesOrderID TEXT PRIMARY KEY, StatusId INTEGER);"
              "INSERT INTO [sales orders] VALUES ('SO1', 1), ('SO2', 2);");
    RunScript(front_, std::string(kCreateLinksTable) +
                          "; CREATE TABLE BackupManagerTable (BackupName TEXT);");
    Link("sales orders", ";DATABASE=" + back_);
  }
  void Link(const std::string& name, const std::string& connect) {
    RunScript(front_,
              "INSERT OR REPLACE INTO kestle_links VALUES ('" + name + "', '" + connect + "')");
  }
  // The SQLite side files present beside `path`.
  std::vector<std::string> SideFiles(const std::string& path) {
    std::vector<std::string> found;
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
      if (std::filesystem::exists(path + suffix)) found.push_back(path + suffix);
    }
    return found;
  }

  TempDir dir_;
  std::string back_, front_;
};

// --- Read-only opens write nothing; writers switch to WAL ---------------------

TEST_F(OpenTest, AReaderLeavesFilesAsItFoundThemAndAWriterSwitchesToWal) {
  RunScript(back_, "PRAGMA journal_mode=WAL");  // a WAL file at rest: no -wal, no -shm
  ASSERT_EQ(HeaderMode(back_), "wal");
  ASSERT_TRUE(SideFiles(back_).empty());
  {
    auto reader = OpenSqliteDatabase(front_, OpenMode::kReadOnly);
    EXPECT_EQ(Scalar(*reader, "SELECT count(*) FROM [sales orders]"), "2");
    auto rs = reader->OpenRecordset("sales orders");
    EXPECT_EQ(rs->Field("SalesOrderID").ToText(), "SO1");
    EXPECT_EQ(ErrorOf([&] { reader->Execute("DELETE FROM [sales orders]"); }), Dao(jet::kReadOnly));
    EXPECT_EQ(ErrorOf([&] { reader->Execute("INSERT INTO BackupManagerTable VALUES ('x')"); }),
              Dao(jet::kReadOnly));
  }
  EXPECT_TRUE(SideFiles(back_).empty());
  EXPECT_TRUE(SideFiles(front_).empty());
  EXPECT_EQ(HeaderMode(front_), "rollback");
  EXPECT_EQ(HeaderMode(back_), "wal");
  {
    auto writer = OpenSqliteDatabase(front_);
    writer->Execute("DELETE FROM [sales orders] WHERE SalesOrderID = 'SO1'");
    writer->Execute("INSERT INTO BackupManagerTable VALUES ('x')");
  }
  EXPECT_EQ(HeaderMode(front_), "wal");
  EXPECT_EQ(HeaderMode(back_), "wal");
  EXPECT_TRUE(SideFiles(back_).empty());
  EXPECT_EQ(Scalar(*OpenSqliteDatabase(back_, OpenMode::kReadOnly),
                   "SELECT count(*) FROM [sales orders]"),
            "1");
}

TEST_F(OpenTest, OnlyAMissingFileIsCreatedAndOnlyInCreateMode) {
  const std::string empty = dir_.File("empty.db"), text = dir_.File("text.db"),
                    absent = dir_.File("absent.db");
  Write(empty, "");
  Write(text, "this is not a database file, only some text that is long enough\n");
  for (OpenMode mode : {OpenMode::kReadOnly, OpenMode::kReadWrite, OpenMode::kCreate}) {
    EXPECT_EQ(ErrorOf([&] { OpenSqliteDatabase(empty, mode); }),
              Dao(jet::kUnrecognizedFormat, empty));
    EXPECT_EQ(ErrorOf([&] { OpenSqliteDatabase(text, mode); }),
              Dao(jet::kUnrecognizedFormat, text));
  }
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  for (OpenMode mode : {OpenMode::kReadOnly, OpenMode::kReadWrite}) {
    EXPECT_EQ(ErrorOf([&] { OpenSqliteDatabase(absent, mode); }), Dao(jet::kFileNotFound, absent));
  }
  EXPECT_FALSE(std::filesystem::exists(absent));
  const std::string nowhere = dir_.File("no/such/folder.db");
  EXPECT_EQ(ErrorOf([&] { OpenSqliteDatabase(nowhere, OpenMode::kCreate); }),
            Dao(jet::kInvalidPath, nowhere));
  OpenSqliteDatabase(absent, OpenMode::kCreate)->Execute("CREATE TABLE t (x TEXT)");
  EXPECT_EQ(HeaderMode(absent), "wal");
  EXPECT_TRUE(SideFiles(absent).empty());
}

// --- Failures in DAO's numbers and texts ---------------------------------------

TEST_F(OpenTest, StatementAndBackEndFailuresCarryDaosNumbersAndTexts) {
  const std::string junk = dir_.File("junk.db"), gone = dir_.File("gone.db");
  Write(junk, "");
  Link("Junk", ";DATABASE=" + junk);
  Link("Gone", "MS Access;DATABASE=" + gone + ";PWD=x");
  auto db = OpenSqliteDatabase(front_);
  struct Case {
    const char* sql;
    std::string error;
  };
  const Case kCases[] = {
      {"SELECT * FROM Gone", Dao(jet::kFileNotFound, gone)},
      {"DELETE * FROM [gone] WHERE 1 = 1", Dao(jet::kFileNotFound, gone)},
      {"SELECT count(*) FROM Junk", Dao(jet::kUnrecognizedFormat, junk)},
      {"DELETE * FROM NoSuchTable;", Dao(jet::kTableNotFound, "NoSuchTable")},
      {"DELETE FROM BackupManagerTable WHERE Nope = 1", Dao(jet::kTooFewParameters, "1")},
      {"SELECT Nope FROM BackupManagerTable", Dao(jet::kTooFewParameters, "1")},
      {"INSERT INTO BackupManagerTable (BackupName) VALUES ('it's')", Dao(jet::kInsertSyntax)},
      {"INSERT INTO BackupManagerTable (Nope) VALUES ('a')", Dao(jet::kUnknownField, "Nope")},
      {"UPDATE BackupManagerTable SET BackupName = 'a' WHERE", Dao(jet::kUpdateSyntax)},
      {"DELETE FROM BackupManagerTable WHERE BackupName = 'a", Dao(jet::kMissingOperator, "'a")},
      {"SELECT Frobnicate(BackupName) FROM BackupManagerTable",
       Dao(jet::kUndefinedFunction, "Frobnicate")},
      {"CREATE TABLE BackupManagerTable (x TEXT)", Dao(jet::kTableExists, "BackupManagerTable")},
      {"SELECT * FROM BackupManagerTable; SELECT 1", Dao(jet::kExtraCharacters)},
  };
  for (const Case& c : kCases) {
    std::string sql = c.sql;
    bool query = sql.starts_with("SELECT");
    try {
      if (query) {
        db->Query(sql);
      } else {
        db->Execute(sql);
      }
      ADD_FAILURE() << "no error: " << sql;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(std::to_string(e.number()) + ": " + e.description(), c.error) << sql;
      EXPECT_TRUE(e.detail().starts_with(sql)) << e.detail();
      // The detail names the column that Jet's text leaves out.
      if (e.number() == jet::kTooFewParameters) {
        EXPECT_TRUE(e.detail().ends_with("\nSQLite error: no such column: Nope")) << e.detail();
      }
    }
  }
  EXPECT_EQ(ErrorOf([&] { db->Execute("SELECT * FROM BackupManagerTable"); }),
            Dao(jet::kCannotExecuteSelect));
  EXPECT_EQ(ErrorOf([&] { db->OpenRecordset("Gone"); }), Dao(jet::kFileNotFound, gone));
  // The back-ends that can be used still work, and nothing was created.
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM [sales orders]"), "2");
  EXPECT_FALSE(std::filesystem::exists(gone));
  EXPECT_EQ(std::filesystem::file_size(junk), 0u);
}

TEST_F(OpenTest, ABackEndLockedByAnotherProcessGivesDaosLockErrors) {
  {
    // A rollback-mode back-end held exclusively: the front-end opens, its
    // linked tables fail.
    LockHolder lock(back_, "BEGIN EXCLUSIVE; DELETE FROM [sales orders] WHERE StatusId = 9");
    ASSERT_TRUE(lock.locked());
    auto opened_during = OpenSqliteDatabase(front_);
    EXPECT_EQ(ErrorOf([&] { opened_during->OpenRecordset("sales orders"); }),
              Dao(jet::kFileInUse, back_));
    opened_during->Execute("INSERT INTO BackupManagerTable VALUES ('local tables work')");
  }
  // A writer that opened first (and put the file in WAL mode) still reads
  // while another process writes, but cannot write itself.
  auto opened_before = OpenSqliteDatabase(front_);
  EXPECT_EQ(HeaderMode(back_), "wal");
  LockHolder lock(back_, "BEGIN EXCLUSIVE; DELETE FROM [sales orders] WHERE StatusId = 9");
  ASSERT_TRUE(lock.locked());
  EXPECT_EQ(Scalar(*opened_before, "SELECT count(*) FROM [sales orders]"), "2");
  EXPECT_EQ(ErrorOf([&] { opened_before->Execute("DELETE FROM [sales orders]"); }),
            Dao(jet::kLocked));
}

// A relative link is resolved against the front-end's folder by the tool's
// tests; here, the path texts themselves.
TEST(BackEndPathTest, ConnectTextsAndPaths) {
  EXPECT_EQ(BackendPath("/fe/fe.db", ";DATABASE=/abs/./x/../be.db"), "/abs/be.db");
  EXPECT_EQ(BackendPath("/fe/fe.db", "MS Access;DATABASE=../be.db;PWD=x"), "/be.db");
  EXPECT_EQ(ResolvedConnect("/fe/fe.db", ";DATABASE="), ";DATABASE=");
  EXPECT_EQ(LinkConnect("/data/be.db"), ";DATABASE=/data/be.db");
  EXPECT_EQ(ErrorOf([&] { LinkConnect("/data/a;b.db"); }), Dao(jet::kInvalidPath, "/data/a;b.db"));
}

}  // namespace
}  // namespace kestle::db
