// The `kestle ship` command: the ShipRush hand-off probe of Ship_FedEx or
// Ship_UPS on a host database, with empty address fields.
#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/witness.h"
#include "component/shipping.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/env.h"

namespace kestle::cli {
namespace {

constexpr const char* kShipDescription =
    "Run the ShipRush hand-off entry point of a carrier against a host database.\n"
    "\n"
    "The entry point checks that the database answers a query on its VersionControl\n"
    "table and reports a failure in message boxes (here: lines on stderr). No\n"
    "address is passed on and no shipping program is started.\n"
    "  fedex  Ship_FedEx.Open_ShipRush_FedEx: one \"ShipRush\" box on failure;\n"
    "         with --recent, Ship_FedEx.recentShipments, which does nothing.\n"
    "  ups    Ship_UPS.Open_ShipRush_UPS (or recentShipments, the same probe):\n"
    "         the error's number and text, then the \"ShipRush\" box.\n";

constexpr const char* kShipFooter =
    "Exit codes: 0 no message was shown, 1 a message was shown or the database could\n"
    "not be opened, 2 usage error.";

struct ShipOptions {
  std::string carrier;
  std::string front_end;
  bool recent = false;
};

int RunShip(const ShipOptions& o) {
  // The probe only reads.
  Witness env(Env::Default());
  const std::shared_ptr<db::Database> database =
      env.Watch(db::OpenSqliteDatabase(o.front_end, db::OpenMode::kReadOnly));
  const std::string none;
  const int32_t handle = 0;
  if (o.carrier == "fedex") {
    Ship_FedEx fedex(&env);
    if (o.recent) {
      fedex.recentShipments(database, handle);
    } else {
      fedex.Open_ShipRush_FedEx(none, none, none, none, none, none, none, none, none, none,
                                database, handle);
    }
  } else {
    Ship_UPS ups(&env);
    if (o.recent) {
      ups.recentShipments(database, handle);
    } else {
      ups.Open_ShipRush_UPS(none, none, none, none, none, none, none, none, none, none, database,
                            handle);
    }
  }
  if (env.boxes() == 0) return kExitOk;
  return env.ReportFailure("ship: the " + o.carrier + " probe failed on " + o.front_end);
}

}  // namespace

Runner SetupShip(CLI::App* cmd) {
  auto o = std::make_shared<ShipOptions>();
  cmd->description(kShipDescription);
  cmd->footer(kShipFooter);
  cmd->add_option("CARRIER", o->carrier, "fedex or ups")
      ->required()
      ->check(CLI::IsMember({"fedex", "ups"}));
  cmd->add_option("FRONT", o->front_end, "The host's front-end database")
      ->type_name("FILE")
      ->required();
  cmd->add_flag("--recent", o->recent, "Call recentShipments instead of the hand-off");
  return [o] { return RunShip(*o); };
}

}  // namespace kestle::cli
