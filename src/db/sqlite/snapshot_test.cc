// SnapshotCopy: consistent copies of SQLite files (also while another
// process writes), byte copies of other files, DAO's errors for a locked or
// foreign database, and failed or killed copies that leave nothing behind
// that the next copy does not remove.
#include "db/sqlite/snapshot.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/error.h"
#include "platform/fake_env.h"

namespace kestle::db {
namespace {

using kestle::testing::ReadBytes;
using kestle::testing::WriteBytes;
using testing::RunScript;
using testing::Scalar;
using testing::TempDir;

// The names in `folder` of temporary copies and their companions.
std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".kestle-") != std::string::npos) names.push_back(name);
  }
  return names;
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
  // A hidden source's log counts as much as any other's; a log that a reader
  // in an older state keeps from being checkpointed is written into the copy.
  struct Case {
    const char* name;
    bool pinned;
  };
  const Case cases[] = {{"orders_be.db", false}, {".orders_be.db", false}, {"pinned.db", true}};
  for (const Case& c : cases) {
    if (dir_.File(c.name) != source_) std::filesystem::copy_file(source_, dir_.File(c.name));
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = dir_.File(c.name);
    std::optional<testing::LockHolder> reader;
    if (c.pinned) reader.emplace(source, "BEGIN; SELECT count(*) FROM t");
    // Keep a connection open so that the last commit stays in the -wal file.
    auto writer = OpenSqliteDatabase(source);
    writer->Execute("INSERT INTO t (v) VALUES ('only in the WAL')");
    std::string target = dir_.File(std::string("copy") + c.name);
    WriteBytes(target, "an older backup");
    // The copy keeps the source's narrower permissions.
    std::filesystem::permissions(
        source, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    SnapshotCopy(env_, source, target);
    EXPECT_EQ(CheckCopy(target), std::make_pair(std::string("ok"), std::string("501")));
    EXPECT_EQ(Leftovers(dir_.path()), std::vector<std::string>{});
    EXPECT_FALSE(std::filesystem::exists(target + "-wal"));
    EXPECT_TRUE(IsSqliteFile(env_, target));
    EXPECT_EQ(std::filesystem::status(target).permissions(),
              std::filesystem::status(source).permissions());
  }
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
    return kestle::testing::ErrorNumberOf([&] { SnapshotCopy(env_, from, to); });
  };
  EXPECT_EQ(number_of(dir_.File("missing.db"), dir_.File("copy.db")), err::kFileNotFound);
  EXPECT_EQ(number_of(source_, dir_.File("no/such/folder/copy.db")), err::kPathNotFound);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("copy.db")));

  // A file with the header but no database behind it fails in the copy itself
  // with DAO's error; an existing target stays as it was.
  std::string broken = dir_.File("broken.db");
  WriteBytes(broken, std::string("SQLite format 3\0", 16) + std::string(5000, 'x'));
  std::string target = dir_.File("kept.db");
  WriteBytes(target, "previous backup");
  EXPECT_EQ(number_of(broken, target), jet::kUnrecognizedFormat);
  try {
    SnapshotCopy(env_, broken, target);
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), jet::Text(jet::kUnrecognizedFormat, broken));
  }
  // A database cut short is damaged.
  const std::string cut = dir_.File("cut.db");
  std::filesystem::copy_file(source_, cut);
  std::filesystem::resize_file(cut, 10000);
  EXPECT_EQ(number_of(cut, target), jet::kCannotOpenDatabase);
  EXPECT_EQ(ReadBytes(target), "previous backup");
  EXPECT_EQ(Leftovers(dir_.path()), std::vector<std::string>{});

  // A full disk, as a process whose files may not grow past 64 KiB sees it,
  // for a database and for any other file.
  WriteBytes(dir_.File("plain.txt"), std::string(1 << 20, 'p'));
  const pid_t limited = fork();
  ASSERT_GE(limited, 0);
  if (limited == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {64 << 10, 64 << 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool full = number_of(source_, dir_.File("full.db")) == err::kDiskFull &&
                      number_of(dir_.File("plain.txt"), dir_.File("full.txt")) == err::kDiskFull;
    _exit(full ? 0 : 1);
  }
  int status = 0;
  waitpid(limited, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Leftovers(dir_.path()), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(dir_.File("full.db")));
}

TEST_F(SnapshotTest, ALockedSourceFailsAndAKilledCopyLeavesNothingTheNextDoesNotRemove) {
  // Another process holds the source exclusively until `holder` goes.
  std::optional<testing::LockHolder> holder;
  holder.emplace(source_, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE");
  ASSERT_TRUE(holder->locked());

  // A copy that waits for the lock is killed once it has begun.
  const std::string folder = dir_.File("Backup");
  const std::string target = folder + "/copy.db";
  std::filesystem::create_directory(folder);
  const pid_t killed = fork();
  ASSERT_GE(killed, 0);
  if (killed == 0) {
    try {
      SnapshotCopy(env_, source_, target);
    } catch (...) {
    }
    _exit(0);
  }
  while (Leftovers(folder).empty()) {
    ASSERT_EQ(waitpid(killed, nullptr, WNOHANG), 0) << "the copy ended before it began";
    usleep(1000);
  }
  kill(killed, SIGKILL);
  waitpid(killed, nullptr, 0);
  EXPECT_NE(Leftovers(folder), std::vector<std::string>{});

  // The next copy gives up on the lock with DAO's error, naming the source,
  // and removes both its own temporary file and the killed one's.
  try {
    SnapshotCopy(env_, source_, target);
    ADD_FAILURE() << "copied a locked database";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), jet::kFileInUse);
    EXPECT_EQ(e.description(), jet::Text(jet::kFileInUse, source_));
  }
  EXPECT_EQ(Leftovers(folder), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(target));

  holder.reset();
  SnapshotCopy(env_, source_, target);
  EXPECT_EQ(CheckCopy(target), std::make_pair(std::string("ok"), std::string("500")));
  EXPECT_EQ(Leftovers(folder), std::vector<std::string>{});
}

TEST_F(SnapshotTest, CopyWhileAnotherProcessCommitsIsConsistent) {
  // The writer process adds batches of 50 rows until it is killed; a
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
      // The oldest batches go again, so that the file stays small.
      for (;;) {
        db->Execute("INSERT INTO t (v) SELECT v FROM batch");
        db->Execute("DELETE FROM t WHERE id <= (SELECT Max(id) FROM t) - 500");
      }
    } catch (...) {
    }
    _exit(1);
  }
  auto reader = OpenSqliteDatabase(source_);
  while (std::stoi(Scalar(*reader, "SELECT count(*) FROM t")) < 150) usleep(1000);
  for (int k = 0; k < 6; ++k) {
    // From the fourth copy on, a reader in another process keeps the log
    // from being emptied, so that the copy must take the log along.
    std::unique_ptr<testing::LockHolder> pinned;
    if (k >= 3) {
      pinned = std::make_unique<testing::LockHolder>(source_, "BEGIN; SELECT count(*) FROM t");
      ASSERT_TRUE(pinned->locked());
      while (std::filesystem::file_size(source_ + "-wal") == 0) usleep(1000);
    }
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
