// The SQLite engine through the Database interface: split-database resolution,
// table definitions, Execute without fail-on-error,
// record sets, index use by the archive run's lookups, the
// front-end's view of its back-ends (linked tables only), and repeated
// statement forms.
#include "db/sqlite/sqlite_database.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::RunScript;
using testing::Scalar;
using testing::Show;
using testing::TempDir;

// A back-end with an order table and a front-end that links it, plus one
// local table and a second link to a back-end file that does not exist. Both
// files are in WAL mode, as the tool makes them, so that the tests that run
// thousands of statements stay fast.
class SplitDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    back_ = dir_.File("be.db");
    front_ = dir_.File("fe.db");
    RunScript(back_,
              "PRAGMA journal_mode=WAL;"
              "CREATE TABLE [sales orders] (SalesOrderID TEXT PRIMARY KEY COLLATE NOCASE, "
              "StatusId INTEGER);"
              "INSERT INTO [sales orders] VALUES ('SO1', 1), ('SO2', 2), ('WO3', 2);"
              "CREATE TABLE Unlinked (x INTEGER);");
    RunScript(front_, std::string("PRAGMA journal_mode=WAL;") + kCreateLinksTable +
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

// A walk over a table while Execute deletes rows of that same table, behind
// and ahead of the current row, within the rows read at open and beyond them.
TEST_F(SplitDatabaseTest, TableRecordsetSkipsRowsDeletedAheadOfItFromItsOwnTable) {
  RunScript(front_,
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO Archiver_ListToDelete (OrderID) SELECT i FROM n");
  auto db = OpenSqliteDatabase(front_);
  auto rs = db->OpenRecordset("archiver_listtodelete");
  int visited = 0;
  bool visited_deleted = false;
  while (!rs->Eof()) {
    int id = std::stoi(rs->Field("OrderID").ToText());
    visited_deleted = visited_deleted || id % 2 == 0;
    ++visited;
    // Each odd row deletes itself and the even row after it.
    db->Execute("DELETE * FROM Archiver_ListToDelete WHERE OrderID IN ('" + std::to_string(id) +
                "', '" + std::to_string(id + 1) + "')");
    rs->MoveNext();
  }
  EXPECT_EQ(visited, 1500);
  EXPECT_FALSE(visited_deleted);
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM Archiver_ListToDelete"), "0");
  // MoveFirst goes back to the first row that is still there.
  db->Execute("INSERT INTO Archiver_ListToDelete (OrderID) VALUES ('A')");
  db->Execute("INSERT INTO Archiver_ListToDelete (OrderID) VALUES ('B')");
  rs = db->OpenRecordset("Archiver_ListToDelete");
  db->Execute("DELETE * FROM Archiver_ListToDelete WHERE OrderID = 'A'");
  rs->MoveFirst();
  EXPECT_EQ(rs->Field("OrderID").ToText(), "B");
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
    EXPECT_EQ(e.number(), jet::kItemNotFound);
  }
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_THROW(rs->MoveNext(), RuntimeError);
  EXPECT_TRUE(db->OpenRecordset("SELECT * FROM BackupManagerTable")->Eof());
  EXPECT_TRUE(db->OpenRecordset("[BackupManagerTable]")->Eof());
}

TEST_F(SplitDatabaseTest, RecordsetsByNameOnViewsAndTablesNamedLikeKeywords) {
  RunScript(front_,
            "CREATE TABLE [Values] (v TEXT);"
            "INSERT INTO [Values] VALUES ('a'), ('b');"
            "CREATE VIEW Recent AS SELECT v FROM [Values];");
  RunScript(back_,
            "CREATE VIEW Closed AS SELECT SalesOrderID FROM [sales orders] WHERE StatusId = 2");
  RunScript(front_, "INSERT INTO kestle_links VALUES ('Closed', ';DATABASE=" + back_ + "');");
  auto db = OpenSqliteDatabase(front_);
  struct Case {
    const char* source;
    const char* field;
    std::vector<std::string> rows;
  };
  const Case kCases[] = {
      {"Values", "v", {"a", "b"}},
      {"[Values]", "v", {"a", "b"}},
      {"Recent", "V", {"a", "b"}},
      {"Closed", "SalesOrderID", {"SO2", "WO3"}},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> rows;
    for (auto rs = db->OpenRecordset(c.source); !rs->Eof(); rs->MoveNext()) {
      rows.push_back(rs->Field(c.field).ToText());
    }
    EXPECT_EQ(rows, c.rows) << c.source;
  }
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

// What Jet says for a table the front-end cannot see.
std::string CannotFind(const std::string& name) { return jet::Text(jet::kTableNotFound, name); }

TEST_F(SplitDatabaseTest, BackEndTriggersAndLinkedViewsReachWhatTheyUse) {
  RunScript(back_,
            "CREATE TABLE Log (id TEXT);"
            "CREATE TRIGGER so_deleted AFTER DELETE ON [sales orders] "
            "BEGIN INSERT INTO Log VALUES (old.SalesOrderID); END;"
            "CREATE VIEW Closed AS SELECT SalesOrderID FROM [sales orders] WHERE StatusId = 2;"
            "CREATE VIEW Hidden AS SELECT SalesOrderID FROM [sales orders];");
  RunScript(front_, "INSERT INTO kestle_links VALUES ('Closed', ';DATABASE=" + back_ + "');");
  auto db = OpenSqliteDatabase(front_);
  db->Execute("DELETE * FROM [sales orders] WHERE SalesOrderID = 'SO1'");
  EXPECT_EQ(db->RecordsAffected(), 1);
  auto back = OpenSqliteDatabase(back_);
  EXPECT_EQ(Rows(*back, "SELECT id FROM Log"), std::vector<std::string>{"SO1"});
  EXPECT_EQ(Rows(*db, "SELECT SalesOrderID FROM Closed ORDER BY 1"),
            (std::vector<std::string>{"SO2", "WO3"}));
  EXPECT_THROW(db->Query("SELECT * FROM Log"), RuntimeError);
  EXPECT_THROW(db->Query("SELECT * FROM Hidden"), RuntimeError);
}

// Action statements that differ only in their literals share one prepared
// statement; each must still act on its own rows and fail in its own words.
TEST_F(SplitDatabaseTest, StatementsThatDifferOnlyInLiteralsActOnTheirOwnRows) {
  auto db = OpenSqliteDatabase(front_);
  const char* kInsert = "INSERT INTO Archiver_ListToDelete (OrderID, LastTransDate) VALUES ('";
  for (const char* id : {"PO1", "O''Brien", "", "PO*", "po2"}) {
    db->Execute(kInsert + std::string(id) + "', #1/5/2026#)");
    EXPECT_EQ(db->RecordsAffected(), 1);
  }
  db->Execute("INSERT INTO Archiver_ListToDelete (OrderID) VALUES (\"it\"\"s\")");
  EXPECT_EQ(Rows(*db, "SELECT OrderID FROM Archiver_ListToDelete ORDER BY rowid"),
            (std::vector<std::string>{"PO1", "O'Brien", "", "PO*", "po2", "it\"s"}));
  const std::string kDelete = "DELETE * FROM Archiver_ListToDelete WHERE OrderID = '";
  db->Execute(kDelete + "O''Brien';");
  EXPECT_EQ(db->RecordsAffected(), 1);
  db->Execute(kDelete + "nothing';");
  EXPECT_EQ(db->RecordsAffected(), 0);
  db->Execute(kDelete + "';");
  EXPECT_EQ(db->RecordsAffected(), 1);
  // Wildcard-free LIKE patterns: a bracketed "*" is the character itself.
  const std::string kLike = "DELETE * FROM Archiver_ListToDelete WHERE OrderID like  '";
  db->Execute(kLike + "PO[*]'");
  EXPECT_EQ(db->RecordsAffected(), 1);
  db->Execute(kLike + "PO2'");
  EXPECT_EQ(db->RecordsAffected(), 1);
  db->Execute(kLike + "P*'");
  EXPECT_EQ(db->RecordsAffected(), 1);
  EXPECT_EQ(Rows(*db, "SELECT OrderID FROM Archiver_ListToDelete"),
            std::vector<std::string>{"it\"s"});
  // A literal where SQLite reads a name still works.
  db->Execute("DELETE FROM 'archiver_ListToDelete' WHERE OrderID = 'x'");
  EXPECT_EQ(db->RecordsAffected(), 0);
}

TEST_F(SplitDatabaseTest, ARepeatedStatementFormFailsWithItsOwnText) {
  RunScript(back_,
            "CREATE TRIGGER keep_so2 BEFORE DELETE ON [sales orders] WHEN old.SalesOrderID = 'SO2' "
            "BEGIN SELECT RAISE(ABORT, 'SO2 stays'); END;");
  auto db = OpenSqliteDatabase(front_);
  const std::string kDelete = "DELETE * FROM [Sales Orders] WHERE SalesOrderID = '";
  db->Execute(kDelete + "SO1'");
  try {
    db->Execute(kDelete + "SO2'");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "SO2 stays");
    EXPECT_EQ(e.detail(),
              kDelete +
                  "SO2'\nSQLite: DELETE  FROM [Sales Orders] WHERE SalesOrderID = 'SO2' "
                  "COLLATE NOCASE");
  }
  // The failed run left no statement open: the next one of the form works.
  db->Execute(kDelete + "WO3'");
  EXPECT_EQ(db->RecordsAffected(), 1);
  EXPECT_EQ(Rows(*db, "SELECT SalesOrderID FROM [sales orders]"), std::vector<std::string>{"SO2"});
  // A table dropped after its statement form was prepared.
  db->Execute("INSERT INTO BackupManagerTable VALUES ('a')");
  RunScript(front_, "DROP TABLE BackupManagerTable");
  try {
    db->Execute("INSERT INTO BackupManagerTable VALUES ('b')");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), CannotFind("BackupManagerTable"));
    EXPECT_TRUE(e.detail().starts_with("INSERT INTO BackupManagerTable VALUES ('b')"));
  }
}

TEST(SqliteIndexUseTest, ArchiveLookupsUseTheOrderIndexes) {
  TempDir dir;
  auto db = OpenSqliteDatabase(dir.File("plan.db"), OpenMode::kCreate);
  db->Execute(
      "CREATE TABLE Archiver_ListToDelete (OrderID TEXT COLLATE NOCASE, LastTransDate "
      "DATETIME)");
  db->Execute("CREATE INDEX Archiver_ListToDelete_OrderID ON Archiver_ListToDelete (OrderID)");
  db->Execute(
      "CREATE TABLE [inventory transactions] (SalesOrderID TEXT COLLATE NOCASE, "
      "TransactionDate DATETIME)");
  db->Execute("CREATE INDEX it_so ON [inventory transactions] (SalesOrderID)");
  db->Execute("CREATE TABLE Numbered (n INTEGER, d DATETIME)");
  db->Execute("CREATE INDEX Numbered_n ON Numbered (n)");
  auto uses_index = [&](const std::string& sql, const std::string& index) {
    for (const std::string& step : db->QueryPlan(sql)) {
      if (step.find("USING INDEX " + index) != std::string::npos ||
          step.find("USING COVERING INDEX " + index) != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  // Identifiers of letters and of digits alike.
  for (const char* id : {"SO000123", "000123", "1.5"}) {
    EXPECT_TRUE(uses_index(
        "DELETE * FROM Archiver_ListToDelete WHERE OrderID like  '" + std::string(id) + "'",
        "Archiver_ListToDelete_OrderID"))
        << id;
  }
  EXPECT_TRUE(
      uses_index("SELECT SalesOrderID, MAX(TransactionDate) From [Inventory Transactions]"
                 " Where (Not IsNull(SalesOrderID)) and SalesOrderID like 'WO*'"
                 " GROUP BY SalesOrderID ORDER BY SalesOrderID;",
                 "it_so"));
  // Number-like text against a number column, as a condition among others.
  EXPECT_TRUE(uses_index("DELETE * FROM Numbered WHERE n = '42' AND d < #1/1/2026#", "Numbered_n"));
  EXPECT_TRUE(uses_index("SELECT d FROM Numbered WHERE NOT IsNull(d) AND n >= 7", "Numbered_n"));
  EXPECT_TRUE(
      uses_index("DELETE * FROM [Inventory Transactions] WHERE [Inventory "
                 "Transactions].[SalesOrderID] = 'SO000123';",
                 "it_so"));
}

}  // namespace
}  // namespace kestle::db
