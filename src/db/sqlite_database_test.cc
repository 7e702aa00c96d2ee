// The SQLite engine through the Database interface: split-database resolution,
// table definitions, the one-statement rule, Execute without fail-on-error,
// engine errors, record sets, and index use by the archive run's lookups.
#include "db/sqlite_database.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "db/db_test_util.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::RunScript;
using testing::Scalar;
using testing::Show;
using testing::TempDir;

// A back-end with an order table and a front-end that links it, plus one
// local table and a second link to a back-end file that does not exist.
class SplitDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    back_ = dir_.File("be.db");
    front_ = dir_.File("fe.db");
    RunScript(back_,
              "CREATE TABLE [sales orders] (SalesOrderID TEXT PRIMARY KEY COLLATE NOCASE, "
              "StatusId INTEGER);"
              "INSERT INTO [sales orders] VALUES ('SO1', 1), ('SO2', 2), ('WO3', 2);"
              "CREATE TABLE Unlinked (x INTEGER);");
    RunScript(front_, std::string(kCreateLinksTable) +
                          ";"
                          "INSERT INTO kestle_links VALUES ('sales orders', ';DATABASE=" +
                          back_ +
                          "');"
                          "INSERT INTO kestle_links VALUES ('Gone', 'MS Access;DATABASE=" +
                          dir_.File("missing.db") +
                          ";PWD=x');"
                          "CREATE TABLE archiver_ListToDelete (OrderID TEXT, LastTransDate "
                          "DATETIME);"
                          "CREATE TABLE BackupManagerTable (BackupName TEXT);");
  }

  TempDir dir_;
  std::string back_, front_;
};

TEST_F(SplitDatabaseTest, LinkedTablesAreReachableByTheirPlainNames) {
  auto db = OpenSqliteDatabase(front_);
  EXPECT_EQ(Rows(*db, "SELECT SalesOrderID FROM [Sales Orders] WHERE StatusId = 2 ORDER BY 1"),
            (std::vector<std::string>{"SO2", "WO3"}));
  db->Execute(
      "INSERT INTO Archiver_ListToDelete (OrderID) SELECT SalesOrderID FROM "
      "[sales orders] WHERE SalesOrderID LIKE 'wo*'");
  db->Execute("DELETE * FROM [Sales Orders] WHERE [Sales Orders].[SalesOrderID] = 'wo3';");
  EXPECT_EQ(db->RecordsAffected(), 1);
  EXPECT_EQ(Rows(*db, "SELECT OrderID FROM Archiver_ListToDelete"),
            std::vector<std::string>{"WO3"});
  // The change reached the back-end file itself.
  auto back = OpenSqliteDatabase(back_);
  EXPECT_EQ(Scalar(*back, "SELECT count(*) FROM [sales orders]"), "2");
}

TEST_F(SplitDatabaseTest, AMissingBackEndFailsOnlyTheStatementsThatUseIt) {
  auto db = OpenSqliteDatabase(front_);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing.db")));
  try {
    db->OpenRecordset("SELECT * FROM Gone");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 1);
    EXPECT_EQ(e.description(), "no such table: Gone");
    EXPECT_EQ(e.detail(), "SELECT * FROM Gone");
  }
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM [sales orders]"), "3");
}

TEST_F(SplitDatabaseTest, TableDefsListLocalTablesAndLinksByNameWithoutRegardToCase) {
  auto db = OpenSqliteDatabase(front_);
  std::vector<std::string> listed;
  for (const auto& def : db->TableDefs()) listed.push_back(def->Name() + "=" + def->Connect());
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "archiver_ListToDelete=",
                        "BackupManagerTable=",
                        "Gone=MS Access;DATABASE=" + dir_.File("missing.db") + ";PWD=x",
                        "sales orders=;DATABASE=" + back_,
                    }));
}

TEST_F(SplitDatabaseTest, TableRecordsetWalksTheWholeTableWhileOtherTablesChange) {
  auto db = OpenSqliteDatabase(front_);
  // More rows than one page of the table reader.
  db->Execute(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500) "
      "INSERT INTO Archiver_ListToDelete (OrderID) SELECT 'X' || i FROM n");
  db->Execute("INSERT INTO Archiver_ListToDelete (OrderID) VALUES ('SO1')");
  auto rs = db->OpenRecordset("Archiver_ListToDelete");
  ASSERT_FALSE(rs->Eof());
  rs->MoveFirst();
  int rows = 0;
  std::string last;
  while (!rs->Eof()) {
    last = rs->Field("orderid").ToText();
    db->Execute("DELETE * FROM [Sales Orders] WHERE [Sales Orders].[SalesOrderID] = '" + last +
                "';");
    ++rows;
    rs->MoveNext();
  }
  EXPECT_EQ(rows, 2501);
  EXPECT_EQ(last, "SO1");
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM [sales orders]"), "2");
  EXPECT_TRUE(rs->Eof());
}

TEST_F(SplitDatabaseTest, QueryRecordsetGivesFieldsByNameAndNulls) {
  auto db = OpenSqliteDatabase(front_);
  db->Execute(
      "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) VALUES ('A', #1/5/2026#)");
  db->Execute("INSERT INTO Archiver_ListToDelete (OrderID) VALUES ('B')");
  auto rs = db->OpenRecordset(
      "SELECT [Archiver_ListToDelete].OrderID, MAX(LastTransDate) as TransactionDate, 1.5 AS r "
      "FROM Archiver_ListToDelete GROUP BY OrderID ORDER BY OrderID");
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(Show(rs->Field("OrderID")), "A");
  EXPECT_EQ(Show(rs->Field("transactiondate")), "2026-01-05 00:00:00");
  EXPECT_EQ(rs->Field("r"), Value(1.5));
  rs->MoveNext();
  EXPECT_TRUE(rs->Field("TransactionDate").is_null());
  try {
    rs->Field("NoSuchField");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), kItemNotFoundText);
  }
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_THROW(rs->MoveNext(), RuntimeError);
  EXPECT_TRUE(db->OpenRecordset("SELECT * FROM BackupManagerTable")->Eof());
  EXPECT_TRUE(db->OpenRecordset("[BackupManagerTable]")->Eof());
}

TEST_F(SplitDatabaseTest, RecordsetOutlivesItsDatabaseObject) {
  std::shared_ptr<Recordset> rs;
  {
    auto db = OpenSqliteDatabase(front_);
    rs = db->OpenRecordset("sales orders");
  }
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Field("SalesOrderID").ToText(), "SO1");
}

TEST_F(SplitDatabaseTest, ExecuteRunsExactlyOneActionStatement) {
  auto db = OpenSqliteDatabase(front_);
  for (const char* sql : {
           "DELETE FROM BackupManagerTable; DELETE FROM Archiver_ListToDelete",
           "DELETE FROM BackupManagerTable; garbage",
           "INSERT INTO BackupManagerTable VALUES ('a;b'); DROP TABLE BackupManagerTable;",
       }) {
    try {
      db->Execute(sql);
      ADD_FAILURE() << sql;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 1);
      EXPECT_EQ(e.description(), kSecondStatementText);
      EXPECT_EQ(e.detail().substr(0, std::string(sql).size()), sql);
    }
  }
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM BackupManagerTable"), "0");
  // A ";" inside a string, a trailing ";" and a trailing comment are one statement.
  db->Execute("INSERT INTO BackupManagerTable VALUES ('a;b'); -- done");
  EXPECT_EQ(Scalar(*db, "SELECT BackupName FROM BackupManagerTable"), "a;b");
  try {
    db->Execute("SELECT * FROM BackupManagerTable");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), kSelectNotExecutableText);
  }
}

TEST_F(SplitDatabaseTest, InsertSkipsRowsThatBreakAKeyWithoutAnError) {
  auto db = OpenSqliteDatabase(front_);
  db->Execute("INSERT INTO [sales orders] (SalesOrderID, StatusId) VALUES ('so1', 9)");
  EXPECT_EQ(db->RecordsAffected(), 0);
  db->Execute(
      "INSERT INTO [sales orders] (SalesOrderID, StatusId) "
      "SELECT 'SO' || StatusId, 7 FROM [sales orders]");
  EXPECT_EQ(db->RecordsAffected(), 0);
  db->Execute("UPDATE [sales orders] SET SalesOrderID = 'SO1' WHERE SalesOrderID = 'SO2'");
  EXPECT_EQ(Rows(*db, "SELECT SalesOrderID || ':' || StatusId FROM [sales orders] ORDER BY 1"),
            (std::vector<std::string>{"SO1:1", "SO2:2", "WO3:2"}));
}

TEST_F(SplitDatabaseTest, EngineErrorsCarrySqliteNumberTextAndStatement) {
  auto db = OpenSqliteDatabase(front_);
  struct Case {
    const char* sql;
    int number;
    const char* text;
  };
  const Case kCases[] = {
      {"DELETE * FROM NoSuchTable;", 1, "no such table: NoSuchTable"},
      {"DELETE FROM BackupManagerTable WHERE Nope = 1", 1, "no such column: Nope"},
      {"INSERT INTO BackupManagerTable (BackupName) VALUES ('it's')", 1,
       "near \"s\": syntax error"},
  };
  for (const Case& c : kCases) {
    try {
      db->Execute(c.sql);
      ADD_FAILURE() << c.sql;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.number) << c.sql;
      EXPECT_EQ(e.description(), c.text) << c.sql;
      EXPECT_EQ(e.detail().substr(0, std::string(c.sql).size()), c.sql);
    }
  }
  {
    std::FILE* f = std::fopen(dir_.File("junk.db").c_str(), "w");
    std::fputs("this is not a database file, only some text that is long enough\n", f);
    std::fclose(f);
  }
  try {
    OpenSqliteDatabase(dir_.File("junk.db"));
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 26);
    EXPECT_EQ(e.description(), "file is not a database");
  }
  try {
    OpenSqliteDatabase(dir_.File("absent.db"));
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 14);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("absent.db")));
  }
}

TEST_F(SplitDatabaseTest, OpeningSetsWalOnFrontAndBackEnd) {
  auto db = OpenSqliteDatabase(front_);
  EXPECT_EQ(Scalar(*db, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(Scalar(*db, "PRAGMA synchronous"), "1");
  EXPECT_EQ(Rows(*db, "SELECT file FROM pragma_database_list WHERE name LIKE 'kestle_be*'"),
            std::vector<std::string>{back_});
}

TEST(SqliteIndexUseTest, ArchiveLookupsUseTheOrderIndexes) {
  TempDir dir;
  auto db = OpenSqliteDatabase(dir.File("plan.db"), /*create=*/true);
  db->Execute(
      "CREATE TABLE Archiver_ListToDelete (OrderID TEXT COLLATE NOCASE, LastTransDate "
      "DATETIME)");
  db->Execute("CREATE INDEX Archiver_ListToDelete_OrderID ON Archiver_ListToDelete (OrderID)");
  db->Execute(
      "CREATE TABLE [inventory transactions] (SalesOrderID TEXT COLLATE NOCASE, "
      "TransactionDate DATETIME)");
  db->Execute("CREATE INDEX it_so ON [inventory transactions] (SalesOrderID)");
  auto uses_index = [&](const std::string& sql, const std::string& index) {
    for (const std::string& step : db->QueryPlan(sql)) {
      if (step.find("USING INDEX " + index) != std::string::npos ||
          step.find("USING COVERING INDEX " + index) != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(uses_index("DELETE * FROM Archiver_ListToDelete WHERE OrderID like  'SO000123'",
                         "Archiver_ListToDelete_OrderID"));
  EXPECT_TRUE(
      uses_index("SELECT SalesOrderID, MAX(TransactionDate) From [Inventory Transactions]"
                 " Where (Not IsNull(SalesOrderID)) and SalesOrderID like 'WO*'"
                 " GROUP BY SalesOrderID ORDER BY SalesOrderID;",
                 "it_so"));
  EXPECT_TRUE(
      uses_index("DELETE * FROM [Inventory Transactions] WHERE [Inventory "
                 "Transactions].[SalesOrderID] = 'SO000123';",
                 "it_so"));
}

}  // namespace
}  // namespace kestle::db
