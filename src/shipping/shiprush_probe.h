// The readiness probe behind the ShipRush hand-off entry points: the host's
// database must answer a query on its VersionControl table.
#ifndef KESTLE_SHIPPING_SHIPRUSH_PROBE_H_
#define KESTLE_SHIPPING_SHIPRUSH_PROBE_H_

#include <memory>

#include "db/database.h"

namespace kestle::shipping {

// The text and title of the box that reports a failed probe.
inline constexpr const char* kShipRushErrorText = "There was an error trying to open ShipRush.";
inline constexpr const char* kShipRushTitle = "ShipRush";

// Holds a reference to `aDB`, opens a record set on its VersionControl table
// and drops both without reading a row. Throws RuntimeError when there is no
// database (91) or the query fails (the engine's error).
void ProbeShipRush(const std::shared_ptr<db::Database>& aDB);

}  // namespace kestle::shipping

#endif  // KESTLE_SHIPPING_SHIPRUSH_PROBE_H_
