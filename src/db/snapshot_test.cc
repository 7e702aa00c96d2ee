// SnapshotCopy: consistent copies of SQLite files (also while another
// process writes), byte copies of other files, and failures that leave no
// partial file under the target name.
#include "db/snapshot.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "db/db_test_util.h"
#include "db/sqlite_database.h"
#include "platform/error.h"
#include "platform/fake_env.h"

namespace kestle::db {
namespace {

using testing::RunScript;
using testing::Scalar;
using testing::TempDir;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The result of PRAGMA integrity_check and the row count of t in a copy.
std::pair<std::string, std::string> CheckCopy(const std::string& path) {
  // The engine runs Jet statements only; the pragma goes to SQLite itself.
  std::string integrity;
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        raw, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) = values[0] ? values[0] : "";
          return 0;
        },
        &integrity, nullptr);
  }
  sqlite3_close(raw);
  auto db = OpenSqliteDatabase(path);
  return {integrity, Scalar(*db, "SELECT count(*) FROM t")};
}

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = dir_.File("orders_be.db");
    RunScript(source_,
              "PRAGMA journal_mode=WAL; CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT);"
              "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500) "
              "INSERT INTO t (v) SELECT hex(randomblob(100)) FROM n;");
  }

  TempDir dir_;
  FakeEnv env_;
  std::string source_;
};

TEST_F(SnapshotTest, CopiesAnSqliteDatabaseWithItsUncheckpointedCommits) {
  // Keep a connection open so that the last commit stays in the -wal file.
  auto writer = OpenSqliteDatabase(source_);
  writer->Execute("INSERT INTO t (v) VALUES ('only in the WAL')");
  std::string target = dir_.File("copy.db");
  WriteBytes(target, "an older backup");
  SnapshotCopy(env_, source_, target);
  EXPECT_EQ(CheckCopy(target), std::make_pair(std::string("ok"), std::string("501")));
  EXPECT_FALSE(std::filesystem::exists(target + kSnapshotTempSuffix));
  EXPECT_FALSE(std::filesystem::exists(target + "-wal"));
  EXPECT_TRUE(IsSqliteFile(env_, target));
}

TEST_F(SnapshotTest, LeavesNoCompanionFilesBesideAClosedSource) {
  SnapshotCopy(env_, source_, dir_.File("copy.db"));
  EXPECT_FALSE(std::filesystem::exists(source_ + "-wal"));
  EXPECT_FALSE(std::filesystem::exists(source_ + "-shm"));
  EXPECT_EQ(CheckCopy(dir_.File("copy.db")).second, "500");
}

TEST_F(SnapshotTest, CopiesAnyOtherFileByteForByte) {
  std::string from = dir_.File("orders_be.mdb");
  static constexpr char kJetBytes[] = "Standard Jet DB\0\x01\x02 and more";
  std::string bytes(kJetBytes, sizeof kJetBytes - 1);
  WriteBytes(from, bytes);
  SnapshotCopy(env_, from, dir_.File("copy.mdb"));
  EXPECT_EQ(ReadBytes(dir_.File("copy.mdb")), bytes);
  EXPECT_FALSE(IsSqliteFile(env_, from));
  // A short file is not mistaken for a database either.
  WriteBytes(from, "SQLite");
  SnapshotCopy(env_, from, dir_.File("short.db"));
  EXPECT_EQ(ReadBytes(dir_.File("short.db")), "SQLite");
}

TEST_F(SnapshotTest, FailuresCarryFileErrorNumbersAndLeaveNoPartialFile) {
  auto number_of = [&](const std::string& from, const std::string& to) {
    try {
      SnapshotCopy(env_, from, to);
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number_of(dir_.File("missing.db"), dir_.File("copy.db")), err::kFileNotFound);
  EXPECT_EQ(number_of(source_, dir_.File("no/such/folder/copy.db")), err::kPathNotFound);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("copy.db")));

  // A file with the header but no database behind it fails in the copy itself;
  // an existing target stays as it was.
  std::string broken = dir_.File("broken.db");
  WriteBytes(broken, std::string("SQLite format 3\0", 16) + std::string(5000, 'x'));
  std::string target = dir_.File("kept.db");
  WriteBytes(target, "previous backup");
  EXPECT_NE(number_of(broken, target), 0);
  EXPECT_EQ(ReadBytes(target), "previous backup");
  EXPECT_FALSE(std::filesystem::exists(target + kSnapshotTempSuffix));

  // Other files go through the Env's copy and its failures.
  WriteBytes(dir_.File("plain.txt"), "plain");
  env_.set_copy_fault(err::kDiskFull);
  EXPECT_EQ(number_of(dir_.File("plain.txt"), dir_.File("plain-copy.txt")), err::kDiskFull);
}

TEST_F(SnapshotTest, CopyWhileAnotherProcessCommitsIsConsistent) {
  // The writer process commits batches of 50 rows until it is killed; a
  // consistent copy holds whole batches only.
  RunScript(source_,
            "DELETE FROM t; CREATE TABLE batch (v TEXT);"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50) "
            "INSERT INTO batch SELECT hex(randomblob(200)) FROM n");
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    try {
      auto db = OpenSqliteDatabase(source_);
      for (;;) {
        db->Execute("INSERT INTO t (v) SELECT v FROM batch");
      }
    } catch (...) {
    }
    _exit(1);
  }
  auto reader = OpenSqliteDatabase(source_);
  while (std::stoi(Scalar(*reader, "SELECT count(*) FROM t")) < 150) usleep(1000);
  for (int k = 0; k < 5; ++k) {
    std::string target = dir_.File("live-" + std::to_string(k) + ".db");
    SnapshotCopy(env_, source_, target);
    auto [check, rows] = CheckCopy(target);
    EXPECT_EQ(check, "ok");
    EXPECT_EQ(std::stoi(rows) % 50, 0) << rows;
  }
  int status = 0;
  // Still writing when killed: the writer never stopped on an error.
  EXPECT_EQ(waitpid(writer, &status, WNOHANG), 0);
  kill(writer, SIGKILL);
  waitpid(writer, &status, 0);
}

}  // namespace
}  // namespace kestle::db
