// Ship_FedEx and Ship_UPS: the probe's message boxes, in order, and the
// untouched arguments and error fields.
#include "component/shipping.h"

#include <gtest/gtest.h>

#include <new>

#include "component/scripted_database_test_util.h"
#include "platform/fake_env.h"

namespace kestle {
namespace {

using testing::ScriptedDatabase;

constexpr const char* kProbe = "SELECT * FROM [VersionControl]";
constexpr const char* kNoTableText =
    "The Microsoft Jet database engine cannot find the input table or query 'VersionControl'.";

std::shared_ptr<ScriptedDatabase> WithoutVersionControl() {
  auto db = std::make_shared<ScriptedDatabase>();
  db->FailOn(kProbe, 0, 3078, kNoTableText);
  return db;
}

// The ten address texts of a call, some empty, some odd.
struct Address {
  std::string company = "Acme's", name = "", address1 = "1 Main St", address2 = "",
              city = "Springfield", state = "IL", zip = "62701", country = "US", email = "a@b.c",
              phone = "";
};

void ExpectShipRushBox(const FakeEnv::Box& box) {
  EXPECT_EQ(box.text, "There was an error trying to open ShipRush.");
  EXPECT_EQ(box.style, kMbOk | kMbIconStop);
  EXPECT_EQ(box.title, "ShipRush");
}

TEST(ShipFedEx, ProbeSucceedsSilentlyAndFailsWithOneShipRushBox) {
  FakeEnv env;
  Ship_FedEx fedex(&env);
  Address a;
  const int32_t handle = 42;
  auto good = std::make_shared<ScriptedDatabase>();
  fedex.Open_ShipRush_FedEx(a.company, a.name, a.address1, a.address2, a.city, a.state, a.zip,
                            a.country, a.email, a.phone, good, handle);
  EXPECT_EQ(good->log(), std::vector<std::string>{std::string("OPEN ") + kProbe});
  EXPECT_TRUE(env.boxes().empty());

  fedex.Open_ShipRush_FedEx(a.company, a.name, a.address1, a.address2, a.city, a.state, a.zip,
                            a.country, a.email, a.phone, WithoutVersionControl(), handle);
  ASSERT_EQ(env.boxes().size(), 1u);
  ExpectShipRushBox(env.boxes()[0]);
  EXPECT_EQ(fedex.getLastErr(), 0);
  EXPECT_EQ(fedex.getLastErrMsg(), "");
  EXPECT_EQ(a.company, "Acme's");
  EXPECT_EQ(handle, 42);
}

TEST(ShipFedEx, RecentShipmentsTouchesNothing) {
  FakeEnv env;
  Ship_FedEx fedex(&env);
  auto db = WithoutVersionControl();
  fedex.recentShipments(db, 7);
  EXPECT_TRUE(db->log().empty());
  EXPECT_TRUE(env.boxes().empty());
  EXPECT_EQ(fedex.getLastErr(), 0);
}

TEST(ShipUps, FailedProbeShowsNumberAndDescriptionThenShipRushBox) {
  Address a;
  for (bool recent : {false, true}) {
    FakeEnv env;
    Ship_UPS ups(&env);
    auto db = WithoutVersionControl();
    if (recent) {
      ups.recentShipments(db, 0);
    } else {
      ups.Open_ShipRush_UPS(a.company, a.name, a.address1, a.address2, a.city, a.state, a.zip,
                            a.country, a.email, a.phone, db, -1);
    }
    ASSERT_EQ(env.boxes().size(), 2u);
    EXPECT_EQ(env.boxes()[0].text, std::string("3078 ") + kNoTableText);
    EXPECT_EQ(env.boxes()[0].style, kMbOk);
    EXPECT_EQ(env.boxes()[0].title, kAppTitle);
    ExpectShipRushBox(env.boxes()[1]);
  }
}

// A database whose every call runs out of memory, as a failed BSTR allocation
// in the DAO adapter does.
class OutOfMemoryDatabase : public db::Database {
 public:
  void Execute(const std::string&) override { throw std::bad_alloc(); }
  std::shared_ptr<db::Recordset> OpenRecordset(const std::string&) override {
    throw std::bad_alloc();
  }
  std::vector<std::shared_ptr<db::TableDef>> TableDefs() override { throw std::bad_alloc(); }
};

TEST(ShipUps, OutOfMemoryIsReportedAsError7) {
  FakeEnv env;
  Ship_UPS ups(&env);
  ups.recentShipments(std::make_shared<OutOfMemoryDatabase>(), 0);
  ASSERT_EQ(env.boxes().size(), 2u);
  EXPECT_EQ(env.boxes()[0].text, "7 Out of memory");
  ExpectShipRushBox(env.boxes()[1]);
}

TEST(ShipUps, ProbeSucceedsSilently) {
  FakeEnv env;
  Ship_UPS ups(&env);
  auto db = std::make_shared<ScriptedDatabase>();
  ups.recentShipments(db, 0);
  Address a;
  ups.Open_ShipRush_UPS(a.company, a.name, a.address1, a.address2, a.city, a.state, a.zip,
                        a.country, a.email, a.phone, db, 0);
  EXPECT_EQ(db->log().size(), 2u);
  EXPECT_TRUE(env.boxes().empty());
}

TEST(Shipping, NoDatabaseObjectIsReportedLikeAnyFailure) {
  FakeEnv env;
  const std::shared_ptr<db::Database> none;
  Ship_FedEx fedex(&env);
  Ship_UPS ups(&env);
  fedex.Open_ShipRush_FedEx("", "", "", "", "", "", "", "", "", "", none, 0);
  ups.recentShipments(none, 0);
  ASSERT_EQ(env.boxes().size(), 3u);
  ExpectShipRushBox(env.boxes()[0]);
  EXPECT_EQ(env.boxes()[1].text, "91 Object variable or With block variable not set");
  ExpectShipRushBox(env.boxes()[2]);
}

}  // namespace
}  // namespace kestle
