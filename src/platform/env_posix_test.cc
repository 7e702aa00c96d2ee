// The POSIX Env on real files: error numbers, atomic copies that keep their
// source's permissions and clean up after killed copies, the directory
// lookup and the regional date text.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <functional>
#include <iterator>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/scratch_test_util.h"

namespace kestle {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

class EnvTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }

  Env* env_ = Env::Default();
  testing::ScratchDir dir_;
};

TEST_F(EnvTest, FailuresCarryTheStandardNumbers) {
  WriteBytes(Path("plain"), "x");
  fs::create_directory(Path("adir"));
  const struct {
    const char* what;
    std::function<void()> op;
    int number;  // -1: any error
  } kCases[] = {
      {"read missing", [&] { env_->NewSequentialFile(Path("missing.iif")); }, err::kFileNotFound},
      {"read no folder", [&] { env_->NewSequentialFile(Path("nofolder/x")); }, err::kPathNotFound},
      {"write no folder", [&] { env_->NewWritableFile(Path("nofolder/x")); }, err::kPathNotFound},
      {"read a folder", [&] { env_->NewSequentialFile(Path("adir")); }, err::kPathFileAccess},
      {"write a folder", [&] { env_->NewWritableFile(Path("adir")); }, err::kPathFileAccess},
      {"below a file", [&] { env_->NewSequentialFile(Path("plain/below")); }, err::kPathNotFound},
      {"folder exists", [&] { env_->CreateFolder(Path("adir")); }, 0},
      {"a file in the way", [&] { env_->CreateFolder(Path("plain")); }, -1},
      {"folder's parent", [&] { env_->CreateFolder(Path("no/such")); }, err::kPathNotFound},
      {"copy missing", [&] { env_->CopyFileTo(Path("missing"), Path("dst2")); },
       err::kFileNotFound},
      {"copy no folder", [&] { env_->CopyFileTo(Path("plain"), Path("nofolder/d")); },
       err::kPathNotFound},
      {"copy onto a folder", [&] { env_->CopyFileTo(Path("plain"), Path("adir")); }, -1},
  };
  for (const auto& c : kCases) {
    const int number = testing::ErrorNumberOf(c.op);
    EXPECT_TRUE(c.number == -1 ? number != 0 : number == c.number) << c.what << ": " << number;
  }
  // Nothing but the files the test made: no temporary leftovers.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
  EXPECT_EQ(std::string(StandardErrorText(err::kFileNotFound)), "File not found");
}

TEST_F(EnvTest, PermissionDeniedWhenNotRoot) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  WriteBytes(Path("locked"), "x");
  ::chmod(Path("locked").c_str(), 0);
  EXPECT_EQ(testing::ErrorNumberOf([&] { env_->NewSequentialFile(Path("locked")); }),
            err::kPermissionDenied);
}

TEST_F(EnvTest, WritableFileTruncatesAndReadsBackBytes) {
  WriteBytes(Path("out"), "old content that is longer");
  auto w = env_->NewWritableFile(Path("out"));
  std::string bytes("a\tb\r\n\xe9\x00z", 8);
  w->Append(bytes.data(), bytes.size());
  w->Close();
  EXPECT_EQ(ReadBytes(Path("out")), bytes);
  auto r = env_->NewSequentialFile(Path("out"));
  char buf[16];
  EXPECT_EQ(r->Read(buf, sizeof buf), bytes.size());
  EXPECT_EQ(r->Read(buf, sizeof buf), 0u);
  EXPECT_EQ(env_->FileSize(Path("out")), bytes.size());
}

TEST_F(EnvTest, SameFileSeesThroughHardLinksAndDifferentSpellings) {
  WriteBytes(Path("a"), "x");
  WriteBytes(Path("b"), "x");
  ASSERT_EQ(::link(Path("a").c_str(), Path("a2").c_str()), 0);
  EXPECT_TRUE(env_->SameFile(Path("a"), Path("a2")));
  EXPECT_TRUE(env_->SameFile(Path("a"), Path("./a")));
  EXPECT_FALSE(env_->SameFile(Path("a"), Path("b")));
  EXPECT_FALSE(env_->SameFile(Path("a"), Path("missing")));
}

TEST_F(EnvTest, FoldersAndCopiesReplacingTheTarget) {
  EXPECT_FALSE(env_->FolderExists(Path("Backup")));
  env_->CreateFolder(Path("Backup"));
  EXPECT_TRUE(env_->FolderExists(Path("Backup")));
  WriteBytes(Path("src"), std::string(3 << 20, 'q'));
  WriteBytes(Path("Backup/dst"), "old");
  env_->CopyFileTo(Path("src"), Path("Backup/dst"));
  EXPECT_EQ(ReadBytes(Path("Backup/dst")), std::string(3 << 20, 'q'));
  EXPECT_FALSE(env_->FolderExists(Path("src")));
}

TEST_F(EnvTest, ACopyIsNeverMoreReadableThanItsSource) {
  WriteBytes(Path("src"), "secret");
  WriteBytes(Path("dst"), "an older, world-readable copy");
  ::chmod(Path("dst").c_str(), 0644);
  const struct {
    mode_t source, umask, copy;
  } kCases[] = {{0600, 022, 0600}, {0640, 022, 0640}, {0664, 002, 0664}, {0644, 077, 0600}};
  for (const auto& c : kCases) {
    ::chmod(Path("src").c_str(), c.source);
    const mode_t saved = ::umask(c.umask);
    env_->CopyFileTo(Path("src"), Path("dst"));
    ::umask(saved);
    struct stat st;
    ASSERT_EQ(::stat(Path("dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.copy) << std::oct << c.source << " " << c.umask;
  }
}

TEST_F(EnvTest, ACopyRemovesTheTemporaryFilesThatNoProcessHolds) {
  WriteBytes(Path("src"), "x");
  // Left by killed copies: a temporary file, one with a journal beside it,
  // and a journal whose temporary file is gone.
  const std::string stale[] = {".dst.kestle-AAAAAA", ".old.db.kestle-BBBBBB",
                               ".old.db.kestle-BBBBBB-journal", ".x.kestle-CCCCCC-wal"};
  // A copy in progress holds its temporary file; names that only look alike
  // belong to someone else.
  const std::string kept[] = {".dst.kestle-DDDDDD", ".dst.kestle-EEEE", "dst.kestle-FFFFFF",
                              ".dst.kestle-GGGGGG.bak"};
  for (const std::string& name : stale) WriteBytes(Path(name), "partial");
  for (const std::string& name : kept) WriteBytes(Path(name), "partial");
  // flock() locks belong to an open file description, so this open file
  // stands for another process's copy.
  const int held = ::open(Path(kept[0]).c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  env_->CopyFileTo(Path("src"), Path("dst"));
  ::close(held);
  for (const std::string& name : stale) EXPECT_FALSE(fs::exists(Path(name))) << name;
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(Path(name))) << name;
  EXPECT_EQ(ReadBytes(Path("dst")), "x");
}

TEST_F(EnvTest, DirLookupReportsNormalVisibleFilesOnly) {
  WriteBytes(Path("Orders_be.db"), "x");
  WriteBytes(Path(".hidden.db"), "x");
  fs::create_directory(Path("folder"));
  EXPECT_EQ(env_->DirLookup(Path("Orders_be.db")), "Orders_be.db");
  EXPECT_EQ(env_->DirLookup(Path(".hidden.db")), "");
  EXPECT_EQ(env_->DirLookup(Path("folder")), "");
  EXPECT_EQ(env_->DirLookup(Path("missing.db")), "");
  EXPECT_EQ(env_->DirLookup(""), "");
  // A backslash is an ordinary character in a POSIX file name.
  WriteBytes(Path("C:\\data\\be.mdb"), "x");
  EXPECT_EQ(env_->DirLookup(Path("C:\\data\\be.mdb")), "C:\\data\\be.mdb");
  EXPECT_EQ(env_->PathSeparator(), '/');
}

TEST_F(EnvTest, LockFileExcludesOtherTakersUntilReleased) {
  const std::string front = Path("front.db"), lock = front + kLockFileSuffix;
  WriteBytes(front, "x");
  ASSERT_EQ(::chmod(front.c_str(), 0640), 0);
  std::unique_ptr<FileLock> held = env_->LockFile(front);
  ASSERT_NE(held, nullptr);
  // Other spellings of the path meet the same lock.
  ASSERT_EQ(::symlink(front.c_str(), Path("alias.db").c_str()), 0);
  EXPECT_EQ(env_->LockFile(dir_.path() + "/./front.db"), nullptr);
  EXPECT_EQ(env_->LockFile(Path("alias.db")), nullptr);
  struct stat st;
  ASSERT_EQ(::stat(lock.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777 & ~0640, 0u);

  held.reset();
  EXPECT_NE(env_->LockFile(front), nullptr);
  EXPECT_TRUE(testing::Exists(lock));
  EXPECT_EQ(testing::ErrorNumberOf([&] { env_->LockFile(Path("missing.db")); }),
            err::kFileNotFound);
  EXPECT_FALSE(testing::Exists(Path("missing.db") + kLockFileSuffix));
}

TEST_F(EnvTest, GeneralDateTextInTheCLocaleIsUsStyle) {
  // C.UTF-8's own short date has a two-digit year; it gives the US text too.
  for (const char* locale : {"C.UTF-8", "C"}) {
    ASSERT_NE(std::setlocale(LC_TIME, locale), nullptr);
    EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 1, 5, 7, 3, 0)), "1/5/2026 7:03:00 AM");
    EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 12, 31, 23, 59, 5)), "12/31/2026 11:59:05 PM");
    EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 1, 5, 12, 0, 0)), "1/5/2026 12:00:00 PM");
    EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 1, 5)), "1/5/2026");
  }
}

TEST_F(EnvTest, ClockIsNearTheSystemClock) {
  Date now = env_->Now();
  EXPECT_GT(now, MakeDate(2020, 1, 1));
  EXPECT_LT(now, MakeDate(2200, 1, 1));
}

}  // namespace
}  // namespace kestle
