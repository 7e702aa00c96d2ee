// Which statements the engine runs: Jet's forms are accepted and translated,
// every other text is refused with Jet's error before SQLite sees it, and a
// back-end table without a link stays out of reach of every statement form.
// All through the Database interface of an opened split database.
#include "db/sqlite/jet_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::RunScript;
using testing::Scalar;
using testing::TempDir;

class JetCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    back_ = dir_.File("be.db");
    front_ = dir_.File("fe.db");
    RunScript(back_,
              "CREATE TABLE [sales orders] (SalesOrderID TEXT PRIMARY KEY COLLATE NOCASE, "
              "StatusId INTEGER);"
              "INSERT INTO [sales orders] VALUES ('SO1', 1), ('SO2', 2), ('WO3', 2);"
              "CREATE TABLE Unlinked (x TEXT);"
              "INSERT INTO Unlinked VALUES ('secret');");
    RunScript(front_, std::string(kCreateLinksTable) +
                          ";INSERT INTO kestle_links VALUES ('sales orders', ';DATABASE=" + back_ +
                          "');"
                          "CREATE TABLE Archiver_ListToDelete (OrderID TEXT, LastTransDate "
                          "DATETIME);"
                          "CREATE TABLE BackupManagerTable (BackupName TEXT, BackupLocation "
                          "TEXT, BackupDate TEXT);");
    db_ = OpenSqliteDatabase(front_);
  }

  // The rows of the front-end's work tables and the back-end's tables, as a
  // check that a refused statement changed nothing.
  std::string Contents() {
    return Scalar(*db_, "SELECT count(*) FROM Archiver_ListToDelete") + "/" +
           Scalar(*db_, "SELECT count(*) FROM BackupManagerTable") + "/" +
           Scalar(*db_, "SELECT count(*) FROM [sales orders]") + "/" + Files();
  }

  // The database files in the folder, journals aside.
  std::string Files() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      std::string name = entry.path().filename().string();
      if (!name.ends_with("-wal") && !name.ends_with("-shm")) names.insert(name);
    }
    std::string list;
    for (const std::string& name : names) list += " " + name;
    return list;
  }

  TempDir dir_;
  std::string back_, front_;
  std::shared_ptr<SqliteDatabase> db_;
};

TEST_F(JetCheckTest, StatementsOutsideJetAreRefusedWithJetsErrorAndChangeNothing) {
  struct Case {
    std::string sql;
    int number;
  };
  const std::string copy = dir_.File("copy.db");
  const Case kCases[] = {
      // Leading words outside Jet's few (one row per kind of danger).
      {"WITH t AS (SELECT x FROM Unlinked) SELECT * FROM t", jet::kInvalidStatement},
      {"ATTACH DATABASE '" + copy + "' AS c", jet::kInvalidStatement},
      {"PRAGMA journal_mode=DELETE", jet::kInvalidStatement},
      {"VACUUM INTO '" + copy + "'", jet::kInvalidStatement},
      {"BEGIN", jet::kInvalidStatement},
      {"REPLACE INTO BackupManagerTable (BackupName) VALUES ('x')", jet::kInvalidStatement},
      {"EXPLAIN DELETE FROM BackupManagerTable", jet::kInvalidStatement},
      {" -- nothing\n;", jet::kInvalidStatement},
      // Stacked statements, also after a string holding ";".
      {"DELETE FROM BackupManagerTable; DELETE FROM Archiver_ListToDelete", jet::kExtraCharacters},
      {"INSERT INTO BackupManagerTable (BackupName) VALUES ('a;b'); DROP TABLE BackupManagerTable",
       jet::kExtraCharacters},
      {"SELECT 1; garbage", jet::kExtraCharacters},
      // SQLite's forms of INSERT, UPDATE and DELETE.
      {"INSERT OR REPLACE INTO BackupManagerTable (BackupName) VALUES ('x')", jet::kInsertSyntax},
      {"INSERT INTO BackupManagerTable (BackupName) VALUES ('a'), ('b')", jet::kInsertSyntax},
      {"INSERT INTO BackupManagerTable DEFAULT VALUES", jet::kInsertSyntax},
      {"INSERT INTO BackupManagerTable (BackupName) VALUES ('a') RETURNING BackupName",
       jet::kInsertSyntax},
      {"INSERT INTO BackupManagerTable (BackupName) SELECT 'a' WHERE 1 ON CONFLICT DO NOTHING",
       jet::kInsertSyntax},
      {"INSERT INTO BackupManagerTable (BackupName) WITH t AS (SELECT 1) SELECT * FROM t",
       jet::kInsertSyntax},
      {"UPDATE OR REPLACE BackupManagerTable SET BackupName = 'x'", jet::kUpdateSyntax},
      {"UPDATE BackupManagerTable SET BackupName = 'x' RETURNING *", jet::kUpdateSyntax},
      {"DELETE FROM BackupManagerTable RETURNING *", jet::kFromClauseSyntax},
      // Queries: common table expressions, VALUES lists and set operators Jet lacks.
      {"SELECT * FROM (WITH t AS (SELECT x FROM Unlinked) SELECT * FROM t)", jet::kSelectSyntax},
      {"SELECT * FROM (VALUES ('a'), ('b'))", jet::kSelectSyntax},
      {"SELECT 1 INTERSECT SELECT 1", jet::kSelectSyntax},
      {"SELECT DISTINCTROW OrderID FROM Archiver_ListToDelete INNER JOIN [sales orders] ON "
       "OrderID = SalesOrderID",
       jet::kSelectSyntax},
      // Functions Jet does not know, SQLite's tables and table-valued functions.
      {"SELECT load_extension('x')", jet::kUndefinedFunction},
      {"SELECT [printf]('%s', 1)", jet::kUndefinedFunction},
      {"SELECT CAST(1 AS TEXT)", jet::kUndefinedFunction},
      {"SELECT * FROM json_each('[1]')", jet::kUndefinedFunction},
      {"SELECT * FROM Archiver_ListToDelete WHERE OrderID GLOB 'a*'", jet::kUndefinedFunction},
      {"SELECT '[1]' ->> 0", jet::kUndefinedFunction},
      {"SELECT * FROM pragma_table_info('BackupManagerTable')", jet::kTableNotFound},
      {"SELECT name FROM sqlite_master", jet::kTableNotFound},
      {"SELECT name FROM kestle_be1.[sqlite_schema]", jet::kTableNotFound},
      // Schema objects Jet has no DDL for, and SQLite's extras in table design.
      {"CREATE VIEW v AS SELECT x FROM Unlinked", jet::kCreateTableSyntax},
      {"CREATE TRIGGER t AFTER INSERT ON BackupManagerTable BEGIN DELETE FROM "
       "Archiver_ListToDelete; END",
       jet::kCreateTableSyntax},
      {"CREATE VIRTUAL TABLE v USING fts5(a)", jet::kCreateTableSyntax},
      {"CREATE TEMP TABLE t (a TEXT)", jet::kCreateTableSyntax},
      {"CREATE TABLE t AS SELECT x FROM Unlinked", jet::kFieldDefinitionSyntax},
      {"CREATE TABLE t (a TEXT DEFAULT (load_extension('x')))", jet::kFieldDefinitionSyntax},
      {"CREATE INDEX i ON BackupManagerTable (lower(BackupName))", jet::kCreateIndexSyntax},
      {"CREATE INDEX i ON BackupManagerTable (BackupName) WHERE BackupName > 'a'",
       jet::kCreateIndexSyntax},
      {"ALTER TABLE BackupManagerTable RENAME TO Gone", jet::kAlterTableSyntax},
      {"DROP VIEW v", jet::kDropSyntax},
      {"DROP TABLE IF EXISTS BackupManagerTable", jet::kDropSyntax},
      // Table design in the back-end, through a link.
      {"DROP TABLE [sales orders]", jet::kLinkedTableDdl},
      {"ALTER TABLE [sales orders] ADD COLUMN Note TEXT", jet::kLinkedTableDdl},
  };
  db_->Execute("INSERT INTO BackupManagerTable (BackupName) VALUES ('kept')");
  const std::string before = Contents();
  for (const Case& c : kCases) {
    // OpenRecordset reads a text of name characters only as a table's name.
    EXPECT_THROW(db_->OpenRecordset(c.sql), RuntimeError) << c.sql;
    // Twice: a repeated statement form is cached.
    for (int run = 0; run < 2; ++run) {
      try {
        db_->Execute(c.sql);
        ADD_FAILURE() << "no error: " << c.sql;
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), c.number) << c.sql << "\n" << e.description();
        EXPECT_EQ(e.description().substr(0, 20), jet::Text(c.number).substr(0, 20)) << c.sql;
        EXPECT_EQ(e.detail().substr(0, c.sql.size()), c.sql);
      }
    }
  }
  EXPECT_EQ(Contents(), before);
  EXPECT_FALSE(std::filesystem::exists(copy));
  for (const char* name : {"sqlite_master", "[sqlite_schema]", "pragma_database_list"}) {
    try {
      db_->OpenRecordset(name);
      ADD_FAILURE() << "no error: " << name;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), jet::kTableNotFound) << name;
    }
  }
}

TEST_F(JetCheckTest, JetStatementFormsRunAsJetRunsThem) {
  struct Case {
    const char* sql;
    std::vector<std::string> rows;  // of a query; empty for an action
  };
  const Case kCases[] = {
      {"INSERT INTO Archiver_ListToDelete (OrderID) VALUES ('SO1'); -- one statement", {}},
      {"INSERT INTO Archiver_ListToDelete (OrderID) SELECT SalesOrderID FROM [sales orders] "
       "WHERE StatusId = 2",
       {}},
      {"UPDATE Archiver_ListToDelete SET LastTransDate = #1/5/2026# WHERE OrderID LIKE 'WO*'", {}},
      {"SELECT TOP 2 OrderID FROM Archiver_ListToDelete ORDER BY OrderID", {"SO1", "SO2"}},
      {"SELECT DISTINCT StatusId FROM [sales orders] ORDER BY StatusId", {"1", "2"}},
      {"SELECT DISTINCTROW SalesOrderID FROM [sales orders] WHERE StatusId = 1", {"SO1"}},
      {"SELECT OrderID FROM Archiver_ListToDelete WHERE LastTransDate IS NULL UNION SELECT "
       "SalesOrderID FROM [sales orders] WHERE StatusId = 1",
       {"SO1", "SO2"}},
      {"SELECT OrderID FROM Archiver_ListToDelete WHERE OrderID IN (SELECT SalesOrderID FROM "
       "[sales orders] WHERE Ucase(SalesOrderID) LIKE 'W*') AND NOT IsNull(LastTransDate)",
       {"WO3"}},
      {"SELECT Count(*) AS n, Max(OrderID) & '!' AS m FROM Archiver_ListToDelete", {"3|WO3!"}},
      {"SELECT OrderID INTO Kept FROM Archiver_ListToDelete WHERE OrderID <> 'SO1'", {}},
      {"SELECT OrderID FROM Kept ORDER BY OrderID", {"SO2", "WO3"}},
      {"DELETE * FROM Archiver_ListToDelete WHERE OrderID IN (SELECT OrderID FROM Kept)", {}},
      {"CREATE TABLE Extra (ID COUNTER, Name TEXT(50) NOT NULL, CONSTRAINT pk PRIMARY KEY (ID))",
       {}},
      {"CREATE UNIQUE INDEX ExtraName ON Extra (Name)", {}},
      {"ALTER TABLE Extra ADD COLUMN Note TEXT", {}},
      {"INSERT INTO Extra (Name, Note) VALUES (\"a\", Left('xyz', 2))", {}},
      {"SELECT Name & Note AS n FROM Extra", {"axy"}},
      {"DROP INDEX ExtraName ON Extra", {}},
      {"DROP TABLE Extra", {}},
      {"SELECT OrderID FROM Archiver_ListToDelete", {"SO1"}},
  };
  for (const Case& c : kCases) {
    try {
      if (c.rows.empty()) {
        db_->Execute(c.sql);
      } else {
        std::vector<std::string> rows;
        for (auto rs = db_->OpenRecordset(c.sql); !rs->Eof(); rs->MoveNext()) {
          std::string line;
          for (const std::string field : {"OrderID", "SalesOrderID", "StatusId", "n", "m"}) {
            try {
              line += (line.empty() ? "" : "|") + rs->Field(field).ToText();
            } catch (const RuntimeError&) {
            }
          }
          rows.push_back(line);
        }
        EXPECT_EQ(rows, c.rows) << c.sql;
      }
    } catch (const RuntimeError& e) {
      ADD_FAILURE() << c.sql << "\n" << e.number() << ": " << e.description() << "\n" << e.detail();
    }
  }
}

// Every statement form reaches the linked table and none the back-end's
// other tables, by plain or qualified name.
TEST_F(JetCheckTest, UnlinkedBackEndTablesStayOutOfReachOfEveryForm) {
  for (const char* sql : {
           "SELECT * FROM Unlinked",
           "SELECT * FROM kestle_be1.Unlinked",
           "SELECT * FROM [kestle_be1].[Unlinked]",
           "SELECT SalesOrderID FROM [sales orders] UNION SELECT x FROM Unlinked",
           "SELECT SalesOrderID FROM [sales orders] WHERE SalesOrderID IN (SELECT x FROM Unlinked)",
           "SELECT SalesOrderID FROM [sales orders] WHERE EXISTS (SELECT 1 FROM Unlinked)",
           "SELECT * FROM (SELECT x FROM Unlinked) AS u",
           "SELECT x INTO Copied FROM Unlinked",
           "INSERT INTO Archiver_ListToDelete (OrderID) SELECT x FROM Unlinked",
           "INSERT INTO Archiver_ListToDelete (OrderID) VALUES ((SELECT x FROM Unlinked))",
           "UPDATE Archiver_ListToDelete SET OrderID = (SELECT x FROM Unlinked)",
           "DELETE * FROM [sales orders] WHERE SalesOrderID NOT IN (SELECT x FROM Unlinked)",
           "DELETE * FROM kestle_be1.Unlinked",
           "UPDATE kestle_be1.Unlinked SET x = 'y'",
           "INSERT INTO Unlinked VALUES ('a')",
           "UPDATE Unlinked SET x = 'b'",
           "DELETE * FROM Unlinked WHERE x = 'a'",
       }) {
    // Twice: the second run of a statement form goes through the statement
    // cache and must fail the same way.
    for (int run = 0; run < 2; ++run) {
      try {
        db_->Execute(sql);
        ADD_FAILURE() << "no error: " << sql;
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), jet::kTableNotFound) << sql << "\n" << e.description();
        EXPECT_EQ(e.description(), jet::Text(jet::kTableNotFound, "Unlinked")) << sql;
        EXPECT_TRUE(e.detail().starts_with(sql)) << e.detail();
      }
    }
  }
  EXPECT_THROW(db_->OpenRecordset("Unlinked"), RuntimeError);
  auto back = OpenSqliteDatabase(back_);
  EXPECT_EQ(Rows(*back, "SELECT x FROM Unlinked"), std::vector<std::string>{"secret"});
  EXPECT_EQ(Scalar(*db_, "SELECT count(*) FROM [sales orders]"), "3");
}

// Paths are plain file names: "file:" and "?mode=" in them open nothing else.
TEST_F(JetCheckTest, PathsThatLookLikeUrisAreFileNames) {
  const std::string odd = dir_.File("file:fe.db?mode=ro");
  auto created = OpenSqliteDatabase(odd, OpenMode::kCreate);
  created->Execute("CREATE TABLE t (a TEXT)");
  created->Execute("INSERT INTO t (a) VALUES ('written')");
  EXPECT_TRUE(std::filesystem::exists(odd));
  RunScript(front_,
            "INSERT INTO kestle_links VALUES ('Unlinked', ';DATABASE=file:" + back_ + "?mode=ro')");
  auto db = OpenSqliteDatabase(front_);
  EXPECT_THROW(db->Query("SELECT * FROM Unlinked"), RuntimeError);
  EXPECT_FALSE(std::filesystem::exists("file:" + back_ + "?mode=ro"));
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM [sales orders]"), "3");
}

}  // namespace
}  // namespace kestle::db
