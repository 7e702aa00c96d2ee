// The back-end backup: a dated copy of the back-end file in a backup folder,
// and the statement that records it in BackupManagerTable.
#ifndef KESTLE_BACKUP_BACKUP_COPY_H_
#define KESTLE_BACKUP_BACKUP_COPY_H_

#include <functional>
#include <memory>
#include <string>

#include "db/database.h"
#include "platform/env.h"

namespace kestle::backup {

// Copies a file, replacing an existing target; a failed copy leaves nothing
// under the target name. Empty: Env::CopyFileTo.
using FileCopier = std::function<void(const std::string& from, const std::string& to)>;

// The folder and file operations of one backup, created for it and dropped
// right after the copy.
class FileSystemObject {
 public:
  FileSystemObject(Env& env, const FileCopier& copier) : env_(env), copier_(copier) {}

  // True when the folder exists (a closing separator is allowed).
  bool FolderExists(const std::string& path);
  // Creates that one folder; fails when its parent is missing.
  void CreateFolder(const std::string& path);
  // Copies `from` to `to` through the copier when one is set, else through
  // Env::CopyFileTo; an existing `to` is replaced.
  void CopyFile(const std::string& from, const std::string& to);

 private:
  // `path` without a closing separator, so that every Env sees a folder name.
  std::string FolderName(const std::string& path) const;

  Env& env_;
  const FileCopier& copier_;
};

// What copyBackend gives back.
struct BackupCopy {
  std::string location;   // the backup folder followed by the backup file name
  std::string date_text;  // the general date text of the time of the backup
};

// Copies the back-end file found by findBackendPath(mDB) into the backup
// folder (`backupPath`, or "Backup" beside the back-end file when empty,
// created when missing) as YYMMDD-hhmm_<back-end file name>. Throws
// RuntimeError when there is no back-end file (before anything is created),
// when the folder cannot be made, or when the copy fails.
BackupCopy copyBackend(const std::shared_ptr<db::Database>& mDB, const std::string& backupPath,
                       Env& env, const FileCopier& copier);

// The INSERT INTO BackupManagerTable statement. The values go between the
// apostrophes as they are, so a value holding an apostrophe breaks the
// statement and the insert fails.
std::string BackupRecordStatement(const std::string& backupName, const std::string& location,
                                  const std::string& date_text);

}  // namespace kestle::backup

#endif  // KESTLE_BACKUP_BACKUP_COPY_H_
