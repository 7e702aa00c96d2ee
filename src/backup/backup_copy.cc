// The back-end backup copy and the statement that records it.
#include "backup/backup_copy.h"

#include <cstdio>

#include "backup/backend_locator.h"
#include "platform/error.h"

namespace kestle::backup {
namespace {

// The default backup folder's name, inside the back-end file's folder.
constexpr const char* kDefaultFolderName = "Backup";

// The description shown when the database names no existing back-end file.
constexpr const char* kNoBackendText = "Back-end database file not found";

// The record statement's fragments, in the order they are joined around the
// three values.
// clang-format off
constexpr const char* kRecordInsert = "INSERT INTO BackupManagerTable (BackupName, BackupLocation, BackupDate) VALUES ";
constexpr const char* kRecordOpen = "('";
constexpr const char* kRecordBetween = "', '";
constexpr const char* kRecordClose = "')";
// clang-format on

// `value` in decimal with at least two digits.
std::string TwoDigits(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", value);
  return buf;
}

// YYMMDD-hhmm_ of the current time; each part reads the clock anew.
std::string BackupNamePrefix(Env& env) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", ToCivil(env.Now()).year);
  std::string prefix = std::string(year).substr(std::string(year).size() - 2);
  prefix += TwoDigits(ToCivil(env.Now()).month);
  prefix += TwoDigits(ToCivil(env.Now()).day);
  prefix += "-";
  prefix += TwoDigits(ToCivil(env.Now()).hour);
  prefix += TwoDigits(ToCivil(env.Now()).minute);
  prefix += "_";
  return prefix;
}

}  // namespace

std::string FileSystemObject::FolderName(const std::string& path) const {
  if (path.size() > 1 && path.back() == env_.PathSeparator()) {
    return path.substr(0, path.size() - 1);
  }
  return path;
}

bool FileSystemObject::FolderExists(const std::string& path) {
  return env_.FolderExists(FolderName(path));
}

void FileSystemObject::CreateFolder(const std::string& path) {
  env_.CreateFolder(FolderName(path));
}

void FileSystemObject::CopyFile(const std::string& from, const std::string& to) {
  if (copier_) {
    copier_(from, to);
  } else {
    env_.CopyFileTo(from, to);
  }
}

BackupCopy copyBackend(const std::shared_ptr<db::Database>& mDB, const std::string& backupPath,
                       Env& env, const FileCopier& copier) {
  const std::string backend = findBackendPath(mDB, env);
  // Failing here, before any folder is made, leaves the disk as it was.
  if (backend.empty()) throw RuntimeError(err::kFileNotFound, kNoBackendText);

  // The folder is the path less the file name that the directory reports;
  // the file name keeps the path's own spelling.
  const size_t name_length = env.DirLookup(backend).size();
  const size_t folder_length = backend.size() >= name_length ? backend.size() - name_length : 0;
  const std::string backend_folder = backend.substr(0, folder_length);
  const std::string backend_name = backend.substr(folder_length);

  const char sep = env.PathSeparator();
  std::string backup_folder;
  if (backupPath.empty()) {
    backup_folder = backend_folder + kDefaultFolderName + sep;
  } else {
    backup_folder = backupPath;
    if (backup_folder.back() != sep) backup_folder += sep;
  }

  const std::string prefix = BackupNamePrefix(env);
  BackupCopy result;
  result.date_text = env.GeneralDateText(env.Now());
  const std::string backup_name = prefix + backend_name;

  {
    FileSystemObject fso(env, copier);
    if (!fso.FolderExists(backup_folder)) fso.CreateFolder(backup_folder);
    fso.CopyFile(backend_folder + backend_name, backup_folder + backup_name);
  }

  result.location = backup_folder + backup_name;
  return result;
}

std::string BackupRecordStatement(const std::string& backupName, const std::string& location,
                                  const std::string& date_text) {
  std::string sql = kRecordInsert;
  sql.append(kRecordOpen).append(backupName).append(kRecordBetween).append(location);
  sql.append(kRecordBetween).append(date_text).append(kRecordClose);
  return sql;
}

}  // namespace kestle::backup
