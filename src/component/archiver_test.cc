// Archiver: the statements an archive run sends (checked against the shared
// golden files), the date check, the error path and the mDB lifetime, against
// a scripted database; then whole runs and backups on real SQLite databases.
#include "component/archiver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "component/result_codes.h"
#include "component/scripted_database_test_util.h"
#include "platform/fake_env.h"

namespace kestle {
namespace {

using testing::ScriptedDatabase;

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The scripted scenario shared with the automation server's tests.
std::shared_ptr<ScriptedDatabase> GoldenScenario() {
  auto db = std::make_shared<ScriptedDatabase>();
  db->Answer("SELECT [inventory transactions].Purc", "PurchaseOrderID", {"PO-7", "PO'8"});
  db->Answer(" SELECT  [inventory transactions].SalesOrderID", "SalesOrderID", {"SO*9"});
  db->Answer("Archiver_ListToDelete", "OrderID", {"PO-1", "WO-2"});
  return db;
}

class ArchiverGoldenTest : public ::testing::TestWithParam<bool> {};

TEST_P(ArchiverGoldenTest, SendsExactlyTheGoldenStatements) {
  const bool closed_only = GetParam();
  FakeEnv env;
  Archiver archiver(&env);
  auto db = GoldenScenario();
  const std::shared_ptr<db::Database> aDB = db;
  const Date lpc = MakeDate(2025, 7, 1), end = MakeDate(2025, 6, 30);

  const int32_t result =
      closed_only ? archiver.archiveNow(aDB, lpc, end) : archiver.archiveNowAll(aDB, lpc, end);

  EXPECT_EQ(result, kResultDone);
  EXPECT_TRUE(env.boxes().empty());
  const std::string golden = std::string(KESTLE_SOURCE_DIR) + "/src/archive/testdata/" +
                             (closed_only ? "archive_now.golden" : "archive_now_all.golden");
  const std::vector<std::string> expected = ReadLines(golden);
  ASSERT_EQ(db->log().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(db->log()[i], expected[i]) << "line " << i;
  // Arguments are const references; the run keeps no database reference.
  EXPECT_EQ(archiver.database(), nullptr);
  EXPECT_EQ(aDB, db);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, ArchiverGoldenTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "ClosedOnly" : "All"; });

TEST(ArchiverDateCheck, RefusesUnlessTheLpcDateIsAtLeastOneCalendarDayLater) {
  struct Case {
    Date lpc, end;
    int32_t result;
  };
  const Case cases[] = {
      {MakeDate(2025, 7, 1, 23, 59), MakeDate(2025, 7, 1, 0, 0), kResultRefused},  // same day
      {MakeDate(2025, 7, 1, 0, 0), MakeDate(2025, 7, 1, 23, 59), kResultRefused},
      {MakeDate(2025, 6, 1), MakeDate(2025, 7, 1), kResultRefused},             // end later
      {MakeDate(2025, 7, 2, 0, 0), MakeDate(2025, 7, 1, 23, 59), kResultDone},  // next day
      {MakeDate(2026, 1, 1), MakeDate(2025, 12, 31, 12, 0), kResultDone},
  };
  for (const Case& c : cases) {
    for (bool all : {false, true}) {
      FakeEnv env;
      Archiver archiver(&env);
      auto db = std::make_shared<ScriptedDatabase>();
      const int32_t result =
          all ? archiver.archiveNowAll(db, c.lpc, c.end) : archiver.archiveNow(db, c.lpc, c.end);
      EXPECT_EQ(result, c.result) << IsoDateTimeText(c.lpc) << " / " << IsoDateTimeText(c.end);
      EXPECT_TRUE(env.boxes().empty());
      // A refused run sends nothing at all.
      if (c.result == kResultRefused) {
        EXPECT_TRUE(db->log().empty());
      }
    }
  }
}

TEST(ArchiverErrorPath, MissingWorkTableShowsOneStopBoxAndStopsAtOnce) {
  FakeEnv env;
  Archiver archiver(&env);
  auto db = std::make_shared<ScriptedDatabase>();
  db->FailOn("DELETE * FROM Archiver_ListToDelete;", 0, 3078,
             "The Microsoft Jet database engine cannot find the input table or query "
             "'Archiver_ListToDelete'.");

  EXPECT_EQ(archiver.archiveNow(db, MakeDate(2025, 7, 1), MakeDate(2025, 6, 1)),
            kResultArchiveFailed);
  ASSERT_EQ(env.boxes().size(), 1u);
  EXPECT_EQ(env.boxes()[0].text,
            "3078: The Microsoft Jet database engine cannot find the input table or query "
            "'Archiver_ListToDelete'.");
  EXPECT_EQ(env.boxes()[0].style, kMbOk | kMbIconStop);
  EXPECT_EQ(env.boxes()[0].title, kAppTitle);
  EXPECT_EQ(db->log().size(), 1u);
}

TEST(ArchiverErrorPath, NegativeErrorNumbersKeepTheirSign) {
  FakeEnv env;
  Archiver archiver(&env);
  auto db = std::make_shared<ScriptedDatabase>();
  db->FailOn("OPEN", 0, -2147467259, "Unspecified error");
  db->FailOn("SELECT", 0, -2147467259, "Unspecified error");
  EXPECT_EQ(archiver.archiveNowAll(db, MakeDate(2025, 7, 1), MakeDate(2025, 6, 1)),
            kResultArchiveFailed);
  ASSERT_EQ(env.boxes().size(), 1u);
  EXPECT_EQ(env.boxes()[0].text, "-2147467259: Unspecified error");
}

TEST(ArchiverErrorPath, FailureInTheDeletionPassStopsTheWalk) {
  FakeEnv env;
  Archiver archiver(&env);
  auto db = GoldenScenario();
  // The second identifier's first statement fails: its other three never run.
  db->FailOn("DELETE * FROM [Inventory Transactions]", 3, 3218,
             "Could not update; currently locked.");
  EXPECT_EQ(archiver.archiveNow(db, MakeDate(2025, 7, 1), MakeDate(2025, 6, 30)),
            kResultArchiveFailed);
  ASSERT_EQ(env.boxes().size(), 1u);
  EXPECT_EQ(env.boxes()[0].text, "3218: Could not update; currently locked.");
  EXPECT_EQ(db->log().back(),
            "EXECUTE DELETE * FROM [Inventory Transactions] WHERE [Inventory "
            "Transactions].[PurchaseOrderID] = 'WO-2';");
}

TEST(ArchiverErrorPath, NullIdentifierIsInvalidUseOfNull) {
  FakeEnv env;
  Archiver archiver(&env);
  auto db = std::make_shared<ScriptedDatabase>();
  db->Answer("Archiver_ListToDelete", "OrderID", {db::Value()});
  EXPECT_EQ(archiver.archiveNowAll(db, MakeDate(2025, 7, 1), MakeDate(2025, 6, 30)),
            kResultArchiveFailed);
  ASSERT_EQ(env.boxes().size(), 1u);
  EXPECT_EQ(env.boxes()[0].text, "94: Invalid use of Null");
}

TEST(ArchiverErrorPath, NoDatabaseObjectEndsThroughTheErrorPath) {
  FakeEnv env;
  Archiver archiver(&env);
  const std::shared_ptr<db::Database> none;
  EXPECT_EQ(archiver.archiveNow(none, MakeDate(2025, 7, 1), MakeDate(2025, 6, 30)),
            kResultArchiveFailed);
  EXPECT_EQ(archiver.archiveNowAll(none, MakeDate(2025, 7, 1), MakeDate(2025, 6, 30)),
            kResultArchiveFailed);
  EXPECT_EQ(archiver.backupNow(none, "", "x"), kResultBackupFailed);
  ASSERT_EQ(env.boxes().size(), 3u);
  for (const FakeEnv::Box& box : env.boxes()) {
    EXPECT_EQ(box.text, "91: Object variable or With block variable not set");
    EXPECT_EQ(box.title, kAppTitle);
  }
  EXPECT_EQ(env.boxes()[0].style, kMbOk | kMbIconStop);
  EXPECT_EQ(env.boxes()[2].style, kMbOk);  // backupNow's box has no icon
}

TEST(ArchiverProgress, ReportsZeroWhenTheListIsReadyThenEachRow) {
  FakeEnv env;
  Archiver archiver(&env);
  std::vector<int64_t> seen;
  archiver.set_progress([&](int64_t done) { seen.push_back(done); });
  EXPECT_EQ(archiver.archiveNow(GoldenScenario(), MakeDate(2025, 7, 1), MakeDate(2025, 6, 30)),
            kResultDone);
  EXPECT_EQ(seen, (std::vector<int64_t>{0, 1, 2}));
}

TEST(ArchiverDatabaseReference, OnlyBackupNowHoldsTheDatabase) {
  FakeEnv env;
  auto first = std::make_shared<ScriptedDatabase>();
  auto second = std::make_shared<ScriptedDatabase>();
  {
    Archiver archiver(&env);
    archiver.archiveNow(first, MakeDate(2025, 7, 1), MakeDate(2025, 6, 30));
    EXPECT_EQ(archiver.database(), nullptr);
    // No linked table: the backup fails, but the reference is kept.
    EXPECT_EQ(archiver.backupNow(first, "", ""), kResultBackupFailed);
    EXPECT_EQ(archiver.database(), first);
    EXPECT_EQ(first.use_count(), 2);
    archiver.archiveNowAll(second, MakeDate(2025, 7, 1), MakeDate(2025, 6, 30));
    EXPECT_EQ(archiver.database(), first);
    archiver.backupNow(second, "", "");
    EXPECT_EQ(archiver.database(), second);
    EXPECT_EQ(first.use_count(), 1);
  }
  EXPECT_EQ(second.use_count(), 1);
}

}  // namespace
}  // namespace kestle
