// Ship_FedEx and Ship_UPS: the ShipRush hand-off entry points. Each runs the
// database probe under one catch-all handler and reports a failure in
// message boxes; the address arguments are accepted and not used.
#include "component/shipping.h"

#include <string>

#include "platform/error.h"
#include "shipping/shiprush_probe.h"

namespace kestle {
namespace {

// Between the error's number and its description in Ship_UPS's first box.
constexpr const char* kNumberSeparator = " ";

// The text "<number> <description>" of the exception being handled. Called
// only inside a catch block.
std::string CurrentErrorText() {
  RuntimeError e = CurrentError();
  return std::to_string(e.number()) + kNumberSeparator + e.description();
}

void ShowShipRushError(Env& env) {
  env.ShowMessageBox(shipping::kShipRushErrorText, kMbOk | kMbIconStop, shipping::kShipRushTitle);
}

// The probe with Ship_UPS's failure handling: the error's number and
// description first, then the ShipRush box.
void ProbeForUps(Env& env, const std::shared_ptr<db::Database>& aDB) {
  try {
    shipping::ProbeShipRush(aDB);
  } catch (...) {
    env.ShowMessageBox(CurrentErrorText(), kMbOk, "");
    ShowShipRushError(env);
  }
}

}  // namespace

void Ship_FedEx::Open_ShipRush_FedEx(const std::string&, const std::string&, const std::string&,
                                     const std::string&, const std::string&, const std::string&,
                                     const std::string&, const std::string&, const std::string&,
                                     const std::string&, const std::shared_ptr<db::Database>& aDB,
                                     const int32_t&) {
  try {
    shipping::ProbeShipRush(aDB);
  } catch (...) {
    ShowShipRushError(*env_);
  }
}

// Takes its arguments and drops them: there is no shipment list to show.
void Ship_FedEx::recentShipments(const std::shared_ptr<db::Database>&, const int32_t&) {}

void Ship_UPS::Open_ShipRush_UPS(const std::string&, const std::string&, const std::string&,
                                 const std::string&, const std::string&, const std::string&,
                                 const std::string&, const std::string&, const std::string&,
                                 const std::string&, const std::shared_ptr<db::Database>& aDB,
                                 const int32_t&) {
  ProbeForUps(*env_, aDB);
}

void Ship_UPS::recentShipments(const std::shared_ptr<db::Database>& aDB, const int32_t&) {
  ProbeForUps(*env_, aDB);
}

}  // namespace kestle
