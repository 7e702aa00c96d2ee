// The fixture of the Jet dialect tests: a database with tables of text to
// match and a few orders, and a LIKE check that compares the forms a LIKE may
// take.
#ifndef KESTLE_DB_SQLITE_JET_TEST_FIXTURE_H_
#define KESTLE_DB_SQLITE_JET_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sqlite_database.h"

namespace kestle::db {

class JetSqlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = OpenSqliteDatabase(dir_.File("jet.db"), OpenMode::kCreate);
    for (const char* sql : {
             "CREATE TABLE Words (w TEXT COLLATE NOCASE)",
             "CREATE INDEX Words_w ON Words (w)",
             "CREATE TABLE Plain (w TEXT)",
             "CREATE TABLE Orders (OrderID TEXT PRIMARY KEY COLLATE NOCASE, Note TEXT, "
             "Amount INTEGER, Placed DATETIME)",
             "INSERT INTO Orders VALUES ('WO100', 'first', 1, '2026-01-05 07:03:00')",
             "INSERT INTO Orders VALUES ('wo200', NULL, 2, '2026-01-05 00:00:00')",
             "INSERT INTO Orders VALUES ('SO300', 'it''s', 3, '2025-12-31 23:59:00')",
             "INSERT INTO Orders VALUES ('W*X', 'star', 4, NULL)",
         }) {
      db_->Execute(sql);
    }
  }

  // Whether `text` matches `pattern` in a LIKE against an indexed NOCASE
  // column, a plain column and a literal; all three must agree.
  bool Like(const std::string& pattern, const std::string& text) {
    db_->Execute("DELETE FROM Words");
    db_->Execute("DELETE FROM Plain");
    db_->Execute("INSERT INTO Words VALUES ('" + text + "')");
    db_->Execute("INSERT INTO Plain VALUES ('" + text + "')");
    std::string indexed =
        testing::Scalar(*db_, "SELECT count(*) FROM Words WHERE w LIKE '" + pattern + "'");
    std::string plain =
        testing::Scalar(*db_, "SELECT count(*) FROM Plain WHERE w LIKE '" + pattern + "'");
    std::string literal =
        testing::Scalar(*db_, "SELECT count(*) FROM Orders WHERE OrderID = 'WO100' AND '" + text +
                                  "' LIKE '" + pattern + "'");
    std::string negated =
        testing::Scalar(*db_, "SELECT count(*) FROM Words WHERE w NOT LIKE '" + pattern + "'");
    EXPECT_EQ(indexed, plain) << pattern << " / " << text;
    EXPECT_EQ(indexed, literal) << pattern << " / " << text;
    EXPECT_NE(indexed, negated) << pattern << " / " << text;
    return indexed == "1";
  }

  testing::TempDir dir_;
  std::shared_ptr<SqliteDatabase> db_;
};

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_JET_TEST_FIXTURE_H_
