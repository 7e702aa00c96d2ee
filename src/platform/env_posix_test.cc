// The POSIX Env on real files: error numbers, atomic copies, the directory
// lookup, the regional date text, and the test double's recording.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/fake_env.h"

namespace kestle {
namespace {

namespace fs = std::filesystem;

class EnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestle_env_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The error number that `op` raises, or 0.
  template <typename Op>
  static int ErrorOf(Op op) {
    try {
      op();
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  }

  Env* env_ = Env::Default();
  fs::path dir_;
};

TEST_F(EnvTest, OpenErrorsCarryTheStandardNumbers) {
  EXPECT_EQ(ErrorOf([&] { env_->NewSequentialFile(Path("missing.iif")); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { env_->NewSequentialFile(Path("nofolder/x.iif")); }), err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { env_->NewWritableFile(Path("nofolder/x.iif")); }), err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { env_->NewSequentialFile(dir_.string()); }), err::kPathFileAccess);
  EXPECT_EQ(ErrorOf([&] { env_->NewWritableFile(dir_.string()); }), err::kPathFileAccess);
  Write(Path("plain"), "x");
  EXPECT_EQ(ErrorOf([&] { env_->NewSequentialFile(Path("plain/below")); }), err::kPathNotFound);
  EXPECT_EQ(std::string(StandardErrorText(err::kFileNotFound)), "File not found");
}

TEST_F(EnvTest, PermissionDeniedWhenNotRoot) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  Write(Path("locked"), "x");
  ::chmod(Path("locked").c_str(), 0);
  EXPECT_EQ(ErrorOf([&] { env_->NewSequentialFile(Path("locked")); }), err::kPermissionDenied);
}

TEST_F(EnvTest, WritableFileTruncatesAndReadsBackBytes) {
  Write(Path("out"), "old content that is longer");
  auto w = env_->NewWritableFile(Path("out"));
  std::string bytes("a\tb\r\n\xe9\x00z", 8);
  w->Append(bytes.data(), bytes.size());
  w->Close();
  EXPECT_EQ(Read(Path("out")), bytes);
  auto r = env_->NewSequentialFile(Path("out"));
  char buf[16];
  EXPECT_EQ(r->Read(buf, sizeof buf), bytes.size());
  EXPECT_EQ(r->Read(buf, sizeof buf), 0u);
  EXPECT_EQ(env_->FileSize(Path("out")), bytes.size());
}

TEST_F(EnvTest, SameFileSeesThroughHardLinksAndDifferentSpellings) {
  Write(Path("a"), "x");
  Write(Path("b"), "x");
  ASSERT_EQ(::link(Path("a").c_str(), Path("a2").c_str()), 0);
  EXPECT_TRUE(env_->SameFile(Path("a"), Path("a2")));
  EXPECT_TRUE(env_->SameFile(Path("a"), (dir_ / "." / "a").string()));
  EXPECT_FALSE(env_->SameFile(Path("a"), Path("b")));
  EXPECT_FALSE(env_->SameFile(Path("a"), Path("missing")));
}

TEST_F(EnvTest, FoldersAreCreatedOneAtATime) {
  EXPECT_FALSE(env_->FolderExists(Path("Backup")));
  env_->CreateFolder(Path("Backup"));
  EXPECT_TRUE(env_->FolderExists(Path("Backup")));
  EXPECT_NE(ErrorOf([&] { env_->CreateFolder(Path("Backup")); }), 0);
  EXPECT_EQ(ErrorOf([&] { env_->CreateFolder(Path("no/such")); }), err::kPathNotFound);
  Write(Path("file"), "x");
  EXPECT_FALSE(env_->FolderExists(Path("file")));
}

TEST_F(EnvTest, CopyReplacesTheTargetAndNeverLeavesAPartialFile) {
  Write(Path("src"), std::string(3 << 20, 'q'));
  Write(Path("dst"), "old");
  env_->CopyFile(Path("src"), Path("dst"));
  EXPECT_EQ(Read(Path("dst")), std::string(3 << 20, 'q'));

  EXPECT_EQ(ErrorOf([&] { env_->CopyFile(Path("missing"), Path("dst2")); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { env_->CopyFile(Path("src"), Path("nofolder/dst")); }),
            err::kPathNotFound);
  fs::create_directory(Path("adir"));
  EXPECT_NE(ErrorOf([&] { env_->CopyFile(Path("src"), Path("adir")); }), 0);
  // Nothing but the files the test made: no temporary leftovers.
  int entries = 0;
  for (auto& e : fs::directory_iterator(dir_)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 3);
  EXPECT_FALSE(fs::exists(Path("dst2")));
}

TEST_F(EnvTest, DirLookupReportsNormalVisibleFilesOnly) {
  Write(Path("Orders_be.db"), "x");
  Write(Path(".hidden.db"), "x");
  fs::create_directory(Path("folder"));
  EXPECT_EQ(env_->DirLookup(Path("Orders_be.db")), "Orders_be.db");
  EXPECT_EQ(env_->DirLookup(Path(".hidden.db")), "");
  EXPECT_EQ(env_->DirLookup(Path("folder")), "");
  EXPECT_EQ(env_->DirLookup(Path("missing.db")), "");
  EXPECT_EQ(env_->DirLookup(""), "");
  // A backslash is an ordinary character in a POSIX file name.
  Write(Path("C:\\data\\be.mdb"), "x");
  EXPECT_EQ(env_->DirLookup(Path("C:\\data\\be.mdb")), "C:\\data\\be.mdb");
  EXPECT_EQ(env_->PathSeparator(), '/');
}

TEST_F(EnvTest, GeneralDateTextInTheCLocaleIsUsStyle) {
  ASSERT_NE(std::setlocale(LC_TIME, "C"), nullptr);
  EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 1, 5, 7, 3, 0)), "1/5/2026 7:03:00 AM");
  EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 12, 31, 23, 59, 5)), "12/31/2026 11:59:05 PM");
  EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 1, 5, 12, 0, 0)), "1/5/2026 12:00:00 PM");
  EXPECT_EQ(env_->GeneralDateText(MakeDate(2026, 1, 5)), "1/5/2026");
}

TEST_F(EnvTest, ClockIsNearTheSystemClock) {
  Date now = env_->Now();
  EXPECT_GT(now, MakeDate(2020, 1, 1));
  EXPECT_LT(now, MakeDate(2200, 1, 1));
}

TEST(FakeEnvTest, RecordsBoxesWithTheApplicationTitleByDefault) {
  FakeEnv env;
  env.MessageBox("53: File not found", kMbOk | kMbIconStop, "");
  env.MessageBox("There was an error trying to open ShipRush.", kMbIconStop, "ShipRush");
  ASSERT_EQ(env.boxes().size(), 2u);
  EXPECT_EQ(env.boxes()[0].title, "Orvanta Kestle ActiveX Component");
  EXPECT_EQ(env.boxes()[0].style, kMbIconStop);
  EXPECT_EQ(env.boxes()[1].title, "ShipRush");
}

TEST(FakeEnvTest, ClockFormatAndCopyFaultAreUnderTheTestsControl) {
  FakeEnv env;
  EXPECT_EQ(env.GeneralDateText(env.Now()), "1/5/2026 7:03:00 AM");
  env.set_now(MakeDate(2026, 12, 31, 23, 59, 0));
  env.set_date_format([](Date d) { return IsoDateTimeText(d); });
  EXPECT_EQ(env.GeneralDateText(env.Now()), "2026-12-31 23:59:00");
  env.set_copy_fault(err::kDiskFull);
  try {
    env.CopyFile("a", "b");
    FAIL() << "the copy fault was not raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kDiskFull);
    EXPECT_EQ(e.description(), "Disk full");
  }
}

}  // namespace
}  // namespace kestle
