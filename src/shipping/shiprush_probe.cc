// The ShipRush readiness probe.
#include "shipping/shiprush_probe.h"

#include "platform/error.h"

namespace kestle::shipping {
namespace {

constexpr const char* kVersionControlQuery = "SELECT * FROM [VersionControl]";

constexpr int kObjectNotSet = 91;
constexpr const char* kObjectNotSetText = "Object variable or With block variable not set";

}  // namespace

void ProbeShipRush(const std::shared_ptr<db::Database>& aDB) {
  std::shared_ptr<db::Database> db = aDB;
  if (!db) throw RuntimeError(kObjectNotSet, kObjectNotSetText);
  std::shared_ptr<db::Recordset> rs = db->OpenRecordset(kVersionControlQuery);
}

}  // namespace kestle::shipping
