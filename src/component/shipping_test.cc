// Ship_FedEx and Ship_UPS: the probe's message boxes, in order, and the
// untouched arguments and error fields.
#include "component/shipping.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>

#include "component/scripted_database_test_util.h"
#include "platform/fake_env.h"

namespace kestle {
namespace {

using testing::ScriptedDatabase;

constexpr const char* kProbe = "SELECT * FROM [VersionControl]";
constexpr const char* kNoTableText =
    "The Microsoft Jet database engine cannot find the input table or query 'VersionControl'.";
constexpr const char* kShipRush = "There was an error trying to open ShipRush.";

std::shared_ptr<ScriptedDatabase> WithoutVersionControl() {
  auto db = std::make_shared<ScriptedDatabase>();
  db->FailOn(kProbe, 0, 3078, kNoTableText);
  return db;
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

// The boxes as "style|title|text" lines.
std::vector<std::string> Boxes(const FakeEnv& env) {
  std::vector<std::string> out;
  for (const FakeEnv::Box& b : env.boxes()) {
    out.push_back(std::to_string(b.style) + "|" + b.title + "|" + b.text);
  }
  return out;
}
const std::string kShipRushBox = std::to_string(kMbOk | kMbIconStop) + "|ShipRush|" + kShipRush;
// Ship_UPS's box of an error: no icon, the application title.
std::string UpsBox(const std::string& text) {
  return std::to_string(kMbOk) + "|" + kAppTitle + "|" + text;
}

TEST(Shipping, EachEntryPointProbesAndReportsAFailureInItsOwnWay) {
  // The ten address texts, some empty, some odd; they must come back as given.
  std::string company = "Acme's";
  const std::string e, city = "Springfield";
  int32_t handle = 42;
  struct Case {
    const char* what;
    std::function<void(Env*, std::shared_ptr<db::Database>)> call;
    std::vector<std::string> failure_boxes;  // after a failed probe
  };
  const Case cases[] = {
      {"Ship_FedEx.Open_ShipRush_FedEx",
       [&](Env* env, std::shared_ptr<db::Database> db) {
         Ship_FedEx fedex(env);
         fedex.Open_ShipRush_FedEx(company, e, "1 Main St", e, city, "IL", "62701", "US", "a@b.c",
                                   e, db, handle);
         EXPECT_EQ(fedex.getLastErr(), 0);
         EXPECT_EQ(fedex.getLastErrMsg(), "");
       },
       {kShipRushBox}},
      {"Ship_UPS.Open_ShipRush_UPS",
       [&](Env* env, std::shared_ptr<db::Database> db) {
         Ship_UPS(env).Open_ShipRush_UPS(company, e, "1 Main St", e, city, "IL", "62701", "US",
                                         "a@b.c", e, db, handle);
       },
       {UpsBox(std::string("3078 ") + kNoTableText), kShipRushBox}},
      {"Ship_UPS.recentShipments",
       [&](Env* env, std::shared_ptr<db::Database> db) { Ship_UPS(env).recentShipments(db, 0); },
       {UpsBox(std::string("3078 ") + kNoTableText), kShipRushBox}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeEnv env;
    auto good = std::make_shared<ScriptedDatabase>();
    c.call(&env, good);
    EXPECT_EQ(good->log(), std::vector<std::string>{std::string("OPEN ") + kProbe});
    EXPECT_TRUE(env.boxes().empty());
    c.call(&env, WithoutVersionControl());
    EXPECT_EQ(Boxes(env), c.failure_boxes);
    EXPECT_EQ(company, "Acme's");
    EXPECT_EQ(handle, 42);
  }
}

TEST(Shipping, FedExRecentShipmentsTouchesNothing) {
  FakeEnv env;
  Ship_FedEx fedex(&env);
  auto db = WithoutVersionControl();
  fedex.recentShipments(db, 7);
  EXPECT_TRUE(db->log().empty());
  EXPECT_TRUE(env.boxes().empty());
  EXPECT_EQ(fedex.getLastErr(), 0);
}

TEST(Shipping, OutOfMemoryAndNoDatabaseAreReportedLikeAnyFailure) {
  FakeEnv env;
  Ship_UPS(&env).recentShipments(std::make_shared<OutOfMemoryDatabase>(), 0);
  Ship_FedEx(&env).Open_ShipRush_FedEx("", "", "", "", "", "", "", "", "", "", nullptr, 0);
  Ship_UPS(&env).recentShipments(nullptr, 0);
  EXPECT_EQ(Boxes(env),
            (std::vector<std::string>{UpsBox("7 Out of memory"), kShipRushBox, kShipRushBox,
                                      UpsBox("91 Object variable or With block variable not set"),
                                      kShipRushBox}));
}

}  // namespace
}  // namespace kestle
