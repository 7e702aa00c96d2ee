// The ShipRush readiness probe.
#include "shipping/shiprush_probe.h"

#include "platform/error.h"

namespace kestle::shipping {
namespace {

constexpr const char* kVersionControlQuery = "SELECT * FROM [VersionControl]";

}  // namespace

void ProbeShipRush(const std::shared_ptr<db::Database>& aDB) {
  std::shared_ptr<db::Database> db = aDB;
  if (!db) throw RuntimeError(err::kObjectNotSet);
  std::shared_ptr<db::Recordset> rs = db->OpenRecordset(kVersionControlQuery);
}

}  // namespace kestle::shipping
