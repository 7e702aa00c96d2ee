// The `kestle backup` command: Archiver.backupNow, copying a live SQLite
// back-end as a consistent snapshot.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/witness.h"
#include "component/archiver.h"
#include "component/result_codes.h"
#include "db/sqlite/snapshot.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/env.h"

namespace kestle::cli {
namespace {

constexpr const char* kBackupDescription =
    "Copy the back-end file of a split host database into a backup folder and record\n"
    "the backup in the front-end's BackupManagerTable.\n"
    "\n"
    "The back-end is the file named by \"DATABASE=\" in the first linked table's\n"
    "connect string (a relative path is taken from the front-end's folder). The copy is named "
    "YYMMDD-hhmm_ followed by the back-end file's\n"
    "name (local time); a backup in the same minute replaces the earlier file. An\n"
    "SQLite back-end is copied as a consistent snapshot even while another program\n"
    "writes to it.\n";

constexpr const char* kBackupFooter =
    "Prints the path of the backup file. Exit codes: 0 done, 1 run-time error (shown\n"
    "as \"TITLE: N: DESCRIPTION\" on stderr; a copy already made stays on disk),\n"
    "2 usage error.";

struct BackupOptions {
  std::string front_end;
  std::string folder;
  std::string name;
};

int RunBackup(const BackupOptions& o) {
  return RunBackupJob(db::OpenSqliteDatabase(o.front_end), o.front_end, o.folder, o.name);
}

}  // namespace

int RunBackupJob(const std::shared_ptr<db::Database>& database, const std::string& front_end,
                 const std::string& folder, const std::string& name) {
  Witness witness(Env::Default());
  std::string written;
  Archiver archiver(&witness, [&witness, &written](const std::string& from, const std::string& to) {
    witness.Run([&] { db::SnapshotCopy(*witness.target(), from, to); });
    written = to;
  });
  if (archiver.backupNow(witness.Watch(database), folder, name) != kResultDone) {
    return witness.ReportFailure("backup: no backup of " + front_end + "'s back-end was made");
  }
  // The backup's record is reported only once committed (the engine groups
  // its commits).
  if (auto engine = std::dynamic_pointer_cast<db::SqliteDatabase>(database)) {
    try {
      engine->Commit();
    } catch (...) {
      return ReportCurrentError(front_end);
    }
  }
  std::printf("%s\n", written.c_str());
  return kExitOk;
}

Runner SetupBackup(CLI::App* cmd) {
  auto o = std::make_shared<BackupOptions>();
  cmd->description(kBackupDescription);
  cmd->footer(kBackupFooter);
  cmd->add_option("FRONT", o->front_end, "The host's front-end database (linked tables)")
      ->type_name("FILE")
      ->required();
  cmd->add_option("--to", o->folder,
                  "Backup folder (created if its parent exists); default: \"Backup\" beside the "
                  "back-end file")
      ->type_name("DIR");
  cmd->add_option("--name", o->name,
                  "Label stored in BackupManagerTable.BackupName (no apostrophes)")
      ->type_name("NAME");
  return [o] { return RunBackup(*o); };
}

}  // namespace kestle::cli
