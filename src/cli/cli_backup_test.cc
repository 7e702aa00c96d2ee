// `kestle backup` with real processes: backups at once into one folder, and
// folders the user may not write to. Each ends with the files and rows it
// should. (A locked back-end and a killed copy: the snapshot's tests.)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_test_util.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sample_database.h"

namespace kestle::cli {
namespace {

namespace fs = std::filesystem;

const std::string kBoxLine = "Orvanta Kestle ActiveX Component: ";
// The user that a test running as root drops to, so that permissions apply.
constexpr uid_t kNobody = 65534;

// The names in `folder` (none when it is missing), sorted; `temporary`
// selects the temporary copies and their companions, else the other files.
std::vector<std::string> Names(const std::string& folder, bool temporary) {
  std::vector<std::string> names;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(folder, missing)) {
    const std::string name = entry.path().filename().string();
    if ((name.find(".kestle-") != std::string::npos) == temporary) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CliBackupTest : public testing::SampleCopyTest<300> {
 protected:
  // Starts `kestle backup FRONT --to FOLDER --name TAG`, its output going to
  // files named after `tag`; as kNobody when `as_nobody`.
  pid_t Start(const std::string& folder, const std::string& tag, bool as_nobody = false) {
    const std::vector<std::string> args = {KESTLE_BINARY, "backup", front_, "--to",
                                           folder,        "--name", tag};
    const std::string out = dir_.File(tag + ".out"), err = dir_.File(tag + ".err");
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(open("/dev/null", O_RDONLY), 0);
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      if (as_nobody && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(127);
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }
  testing::Outcome Finish(pid_t pid, const std::string& tag) {
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            testing::ReadBytes(dir_.File(tag + ".out")),
            testing::ReadBytes(dir_.File(tag + ".err"))};
  }
  testing::Outcome Backup(const std::string& folder, const std::string& tag,
                          bool as_nobody = false) {
    return Finish(Start(folder, tag, as_nobody), tag);
  }

  // "name|location" of every BackupManagerTable row, sorted.
  std::vector<std::string> Rows() {
    auto rows = db::testing::Rows(*db::OpenSqliteDatabase(front_),
                                  "SELECT BackupName, BackupLocation FROM BackupManagerTable");
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  std::string folder_ = dir_.File("Backup");
};

TEST_F(CliBackupTest, BackupsAtOnceIntoOneFolderAllSucceedAndKeepTheSourcesPermissions) {
  fs::permissions(back_, fs::perms::owner_read | fs::perms::owner_write);
  const std::vector<std::string> tags = {"a", "b", "c", "d"};
  std::vector<pid_t> pids;
  for (const std::string& tag : tags) pids.push_back(Start(folder_, tag));
  std::set<std::string> written;
  std::vector<std::string> expected_rows;
  for (size_t i = 0; i < tags.size(); ++i) {
    const testing::Outcome run = Finish(pids[i], tags[i]);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string path = run.out.substr(0, run.out.size() - 1);
    written.insert(path);
    expected_rows.push_back(tags[i] + "|" + path);
  }
  // One file per minute that the runs fell in, the later copy replacing the
  // earlier; a row for every run; nothing temporary left.
  std::set<std::string> files;
  for (const std::string& name : Names(folder_, false)) files.insert(folder_ + "/" + name);
  EXPECT_EQ(files, written);
  EXPECT_EQ(Names(folder_, true), std::vector<std::string>{});
  EXPECT_EQ(Rows(), expected_rows);
  for (const std::string& path : written) {
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    auto copy = db::OpenSqliteDatabase(path);
    EXPECT_EQ(db::testing::Scalar(*copy, "SELECT count(*) FROM [purchase orders]"),
              db::testing::Scalar(*db::OpenSqliteDatabase(back_),
                                  "SELECT count(*) FROM [purchase orders]"));
  }
}

TEST_F(CliBackupTest, AFolderTheUserMayNotWriteToIsPermissionDenied) {
  // Root writes everywhere: the backups run as another user, who may use the
  // databases but not the folders below.
  const bool as_nobody = geteuid() == 0;
  fs::permissions(dir_.path(), fs::perms::all);
  for (const std::string& file : {front_, back_}) {
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read |
                              fs::perms::others_write);
  }
  fs::create_directory(dir_.File("read-only"));
  fs::permissions(dir_.File("read-only"), fs::perms::owner_read | fs::perms::owner_exec |
                                              fs::perms::group_read | fs::perms::group_exec |
                                              fs::perms::others_read | fs::perms::others_exec);
  fs::create_directory(dir_.File("forbidden"));
  fs::permissions(dir_.File("forbidden"), fs::perms::none);
  for (const char* folder : {"read-only", "read-only/new", "forbidden", "forbidden/new"}) {
    const testing::Outcome run = Backup(dir_.File(folder), "denied", as_nobody);
    EXPECT_EQ(run.exit_code, 1) << folder;
    EXPECT_TRUE(run.err.starts_with(kBoxLine + "70: Permission denied\nkestle: error 70: "))
        << run.err;
  }
  fs::permissions(dir_.File("forbidden"), fs::perms::owner_all);
  EXPECT_EQ(Names(dir_.File("read-only"), false), std::vector<std::string>{});
  EXPECT_EQ(Names(dir_.File("forbidden"), false), std::vector<std::string>{});
  EXPECT_EQ(Rows(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kestle::cli
