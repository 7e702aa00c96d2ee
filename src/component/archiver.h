// Archiver: the public class that archives finished orders and backs up the
// back-end file of the host's split database.
#ifndef KESTLE_COMPONENT_ARCHIVER_H_
#define KESTLE_COMPONENT_ARCHIVER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "db/database.h"
#include "platform/date.h"
#include "platform/env.h"

namespace kestle {

class Archiver {
 public:
  // Copies the back-end file to the backup file, replacing it. The default
  // copies bytes through Env; a host whose back-end is a live SQLite database
  // supplies one that takes a consistent snapshot.
  using FileCopier = std::function<void(const std::string& from, const std::string& to)>;
  // Called during the deletion pass with the number of identifiers done.
  // Not part of the automation interface.
  using Progress = std::function<void(int64_t done)>;

  explicit Archiver(Env* env = Env::Default(), FileCopier copier = {});

  // Copies the back-end file into the backup folder and records the backup in
  // BackupManagerTable. Returns 1, or -1 after an error message box.
  int32_t backupNow(const std::shared_ptr<db::Database>& aDB, const std::string& backupPath,
                    const std::string& backupName);
  // Removes closed and archived orders whose activity ended before aEndDate.
  // Returns 1, -1 when the dates are refused, or -2 after an error message box.
  int32_t archiveNow(const std::shared_ptr<db::Database>& aDB, const Date& aLPCDate,
                     const Date& aEndDate);
  // As archiveNow, for orders of any status.
  int32_t archiveNowAll(const std::shared_ptr<db::Database>& aDB, const Date& aLPCDate,
                        const Date& aEndDate);

  // Not part of the automation interface (nor are the members below): the
  // date check and the list building of archiveNow (closedOnly) or
  // archiveNowAll without the deletion pass, for a host that shows the list
  // before it runs. Returns 1 with the work table Archiver_ListToDelete
  // holding the run's list, or -1 when the dates are refused (nothing read or
  // changed). Shows no message box: an error (91 without a database, or the
  // database's own) is thrown to the caller, the steps before it in effect.
  int32_t BuildArchiveList(const std::shared_ptr<db::Database>& aDB, const Date& aLPCDate,
                           const Date& aEndDate, bool closedOnly);
  // The date check of the archive methods: true when the calendar day of
  // aLPCDate lies at least one day after that of aEndDate.
  static bool DatesAccepted(const Date& aLPCDate, const Date& aEndDate);

  void set_progress(Progress progress) { progress_ = std::move(progress); }
  // The database of the last backupNow call (empty before the first).
  const std::shared_ptr<db::Database>& database() const { return mDB; }

 private:
  Env* env_;
  FileCopier copier_;
  Progress progress_;
  std::shared_ptr<db::Database> mDB;
};

}  // namespace kestle

#endif  // KESTLE_COMPONENT_ARCHIVER_H_
