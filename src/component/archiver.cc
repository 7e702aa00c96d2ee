// Archiver: the public archive and backup methods, each with its one
// catch-all handler that turns any error into a message box and a result.
#include "component/archiver.h"

#include <string>

#include "archive/archive_list.h"
#include "archive/order_deletion.h"
#include "backup/backup_copy.h"
#include "component/result_codes.h"
#include "platform/error.h"

namespace kestle {
namespace {

// Between the error's number and its description in the Archiver's boxes.
constexpr const char* kNumberSeparator = ": ";

// The box text of the exception being handled: "<number>: <description>".
// Called only inside a catch block.
std::string CurrentErrorText() {
  RuntimeError e = CurrentError();
  return std::to_string(e.number()) + kNumberSeparator + e.description();
}

// Raises error 91 when the caller handed in no database.
void RequireDatabase(const std::shared_ptr<db::Database>& aDB) {
  if (!aDB) throw RuntimeError(err::kObjectNotSet);
}

// The archive run shared by archiveNow (closedOnly) and archiveNowAll. The
// database handle lives only for the call; mDB is left alone.
int32_t RunArchive(Env& env, const Archiver::Progress& progress,
                   const std::shared_ptr<db::Database>& aDB, const Date& aLPCDate,
                   const Date& aEndDate, bool closedOnly) {
  try {
    if (!Archiver::DatesAccepted(aLPCDate, aEndDate)) return kResultRefused;
    RequireDatabase(aDB);
    archive::fillArchiveList(*aDB, aEndDate, closedOnly);
    archive::DeleteListedOrders(*aDB, progress);
    return kResultDone;
  } catch (...) {
    env.ShowMessageBox(CurrentErrorText(), kMbOk | kMbIconStop, "");
    return kResultArchiveFailed;
  }
}

}  // namespace

Archiver::Archiver(Env* env, FileCopier copier) : env_(env), copier_(std::move(copier)) {}

int32_t Archiver::backupNow(const std::shared_ptr<db::Database>& aDB, const std::string& backupPath,
                            const std::string& backupName) {
  try {
    mDB = aDB;
    RequireDatabase(mDB);
    const backup::BackupCopy copy = backup::copyBackend(mDB, backupPath, *env_, copier_);
    aDB->Execute(backup::BackupRecordStatement(backupName, copy.location, copy.date_text));
    return kResultDone;
  } catch (...) {
    env_->ShowMessageBox(CurrentErrorText(), kMbOk, "");
    return kResultBackupFailed;
  }
}

int32_t Archiver::archiveNow(const std::shared_ptr<db::Database>& aDB, const Date& aLPCDate,
                             const Date& aEndDate) {
  return RunArchive(*env_, progress_, aDB, aLPCDate, aEndDate, /*closedOnly=*/true);
}

int32_t Archiver::archiveNowAll(const std::shared_ptr<db::Database>& aDB, const Date& aLPCDate,
                                const Date& aEndDate) {
  return RunArchive(*env_, progress_, aDB, aLPCDate, aEndDate, /*closedOnly=*/false);
}

int32_t Archiver::BuildArchiveList(const std::shared_ptr<db::Database>& aDB, const Date& aLPCDate,
                                   const Date& aEndDate, bool closedOnly) {
  if (!DatesAccepted(aLPCDate, aEndDate)) return kResultRefused;
  RequireDatabase(aDB);
  archive::fillArchiveList(*aDB, aEndDate, closedOnly);
  return kResultDone;
}

bool Archiver::DatesAccepted(const Date& aLPCDate, const Date& aEndDate) {
  return archive::DateRangeAccepted(aLPCDate, aEndDate);
}

}  // namespace kestle
