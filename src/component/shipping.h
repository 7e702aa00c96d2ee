// Ship_FedEx and Ship_UPS: the host's entry points for handing a ship-to
// address to the ShipRush application. They probe the host's database and
// report a failure; they pass nothing on.
#ifndef KESTLE_COMPONENT_SHIPPING_H_
#define KESTLE_COMPONENT_SHIPPING_H_

#include <cstdint>
#include <memory>
#include <string>

#include "db/database.h"
#include "platform/env.h"

namespace kestle {

class Ship_FedEx {
 public:
  explicit Ship_FedEx(Env* env = Env::Default()) : env_(env) {}

  void Open_ShipRush_FedEx(const std::string& aCompany, const std::string& aName,
                           const std::string& aAddress1, const std::string& aAddress2,
                           const std::string& aCity, const std::string& aState,
                           const std::string& aZip, const std::string& aCountry,
                           const std::string& aEmail, const std::string& aPhone,
                           const std::shared_ptr<db::Database>& aDB, const int32_t& aHandle);
  void recentShipments(const std::shared_ptr<db::Database>& aDB, const int32_t& aHandle);
  int16_t getLastErr() const { return lastErr; }
  std::string getLastErrMsg() const { return lastErrMsg; }

 private:
  Env* env_;
  int16_t lastErr = 0;
  std::string lastErrMsg;
};

class Ship_UPS {
 public:
  explicit Ship_UPS(Env* env = Env::Default()) : env_(env) {}

  void Open_ShipRush_UPS(const std::string& aCompany, const std::string& aName,
                         const std::string& aAddress1, const std::string& aAddress2,
                         const std::string& aCity, const std::string& aState,
                         const std::string& aZip, const std::string& aCountry,
                         const std::string& aEmail, const std::string& aPhone,
                         const std::shared_ptr<db::Database>& aDB, const int32_t& aHandle);
  void recentShipments(const std::shared_ptr<db::Database>& aDB, const int32_t& aHandle);

 private:
  Env* env_;
};

}  // namespace kestle

#endif  // KESTLE_COMPONENT_SHIPPING_H_
