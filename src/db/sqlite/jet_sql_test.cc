// The Jet dialect on real SQLite: each case is Jet text in and the result the
// engine gives for it out, including Jet syntax inside string literals that
// must pass through untouched (LIKE is in jet_like_test.cc).
#include "db/sqlite/jet_sql.h"

#include <gtest/gtest.h>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/jet_test_fixture.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::Scalar;

TEST_F(JetSqlTest, ExpressionsTranslateToTheirJetResults) {
  struct Case {
    const char* expression;
    const char* result;
  };
  const Case kCases[] = {
      {"Ucase('aBc')", "ABC"},
      {"Lcase('aBc')", "abc"},
      {"Len('abcd')", "4"},
      {"Len(Null)", "Null"},
      {"Trim('  a b  ')", "a b"},
      {"Left('abcdef', 2)", "ab"},
      {"Left('abc', 10)", "abc"},
      {"Left('café', 4)", "café"},
      {"Right('abcdef', 2)", "ef"},
      {"Right('abc', 0)", ""},
      {"Right('café', 2)", "fé"},
      {"Mid('abcdef', 2, 3)", "bcd"},
      {"Mid('abcdef', 4)", "def"},
      {"Mid('abc', 5)", ""},
      {"Left('abc', 1.6)", "ab"},
      {"Left('abcd', 2.5)", "ab"},
      {"Left('abcd', 3.5)", "abcd"},
      {"Right('abc', '2')", "bc"},
      {"Mid('abcdef', 2.6, 1.5)", "cd"},
      {"Left(Null, 2)", "Null"},
      {"Nz(Null, 'x')", "x"},
      {"Nz(Null)", ""},
      {"Nz('a', 'x')", "a"},
      {"IIf(1 > 2, 'yes', 'no')", "no"},
      {"IIf(IsNull(Null), 'null', 'value')", "null"},
      {"IIf(NOT IsNull( 'x'), 'value', 'null')", "value"},
      {"'a' & 'b' & 'c'", "abc"},
      {"'a' & Null & 'c'", "ac"},
      {"Null & Null", "Null"},
      {"1 + 2 & 3", "33"},
      {"'x' & 2.0 & 2.5 & -3.0", "x22.5-3"},
      {"IIf(4 / 2 LIKE '2', 'y', 'n')", "y"},
      {"5 / 2", "2.5"},
      {"0.1 + 0.2", "0.3"},
      {"'x' & 1 / 3 & 1E20 * 1.5", "x0.3333333333333331.5E+20"},
      {"Len(4 / 2)", "1"},
      {"Len('café')", "4"},
      {"Mid(4 / 2 & 'x', 1)", "2x"},
      {"Right(10 / 5, 1)", "2"},
      {"1 + 7 / 2 * 2 - 1", "7"},
      {"-3 / 4", "-0.75"},
      {"'n=' & 2 * 3 & '.'", "n=6."},
      {"Ucase('a' & 'b') & Left('xyz', 1)", "ABx"},
      {"'x' & IsNull(Null)", "x-1"},
      {"IIf(IsNull(Null) = True, 'y', 'n')", "y"},
      {"IIf(IsNull(1) = False, 'y', 'n')", "y"},
      {"IIf('a' & 'b' = 'ab', 'eq', 'ne')", "eq"},
      {"('a' & 'b') & ('c' & Null)", "abc"},
      {"True", "-1"},
      {"False", "0"},
      {"\"say \"\"hi\"\"\"", "say \"hi\""},
      {"\"it's\"", "it's"},
      {"#1/5/2026#", "2026-01-05 00:00:00"},
      {"#1/5/2026 7:03:00 AM#", "2026-01-05 07:03:00"},
      {"#12/31/2026 11:59:00 PM#", "2026-12-31 23:59:00"},
      {"#1/5/2026 12:00:00 AM#", "2026-01-05 00:00:00"},
      {"#1/5/2026 12:30 PM#", "2026-01-05 12:30:00"},
      {"#1/5/26#", "2026-01-05 00:00:00"},
      {"#2/29/2024 13:45#", "2024-02-29 13:45:00"},
      {"#2026-01-05#", "2026-01-05 00:00:00"},
      {"#2026-01-05 07:03#", "2026-01-05 07:03:00"},
      {"# 2026-01-05T07:03:09 #", "2026-01-05 07:03:09"},
      {"'#1/5/2026# \"x\" & IsNull(y) True [a] DELETE * FROM t LIKE ''W*'''",
       "#1/5/2026# \"x\" & IsNull(y) True [a] DELETE * FROM t LIKE 'W*'"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Scalar(*db_, std::string("SELECT ") + c.expression + " AS r"), c.result)
        << c.expression;
  }
}

TEST_F(JetSqlTest, BadCountsOfLeftRightAndMidFailTheQuery) {
  struct Case {
    const char* expression;
    const char* error;
  };
  const Case kCases[] = {
      {"Mid('abc', 0)", "Invalid procedure call or argument"},
      {"Left('abc', -1)", "Invalid procedure call or argument"},
      {"Mid('abc', 0.4)", "Invalid procedure call or argument"},
      {"Right('abc', Null)", "Invalid use of Null"},
      {"Left('abc', 'x')", "Type mismatch"},
      {"Mid('abc', 1, '2x')", "Type mismatch"},
      {"Left('abc', 1e300)", "Overflow"},
  };
  for (const Case& c : kCases) {
    try {
      db_->Query(std::string("SELECT ") + c.expression + " AS r");
      ADD_FAILURE() << c.expression;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.description(), c.error) << c.expression;
    }
  }
}

TEST_F(JetSqlTest, LongConcatenationChainsKeepJetNullRules) {
  for (int operands : {100, 101, 250}) {
    std::string chain = "Null";
    std::string expected;
    for (int k = 1; k < operands; ++k) {
      chain += k % 7 == 0 ? " & Null" : " & 'x'";
      if (k % 7 != 0) expected += "x";
    }
    EXPECT_EQ(Scalar(*db_, "SELECT " + chain + " AS r"), expected) << operands;
  }
}

TEST_F(JetSqlTest, LikePatternsBuiltFromExpressionsAndQuotedApostrophes) {
  EXPECT_EQ(Scalar(*db_, "SELECT count(*) FROM Orders WHERE OrderID LIKE 'WO' & '*'"), "2");
  EXPECT_EQ(Scalar(*db_, "SELECT count(*) FROM Orders WHERE OrderID LIKE 'wo1' & '00'"), "1");
  EXPECT_EQ(Scalar(*db_, "SELECT count(*) FROM Orders WHERE Note LIKE 'IT''S' AND Amount = 3"),
            "1");
  db_->Execute("INSERT INTO Orders (OrderID, Amount) VALUES ('O''Brien[1]', 5)");
  db_->Execute("DELETE * FROM Orders WHERE OrderID like  'o''brien[[]1]'");
  EXPECT_EQ(db_->RecordsAffected(), 1);
}

TEST_F(JetSqlTest, TopBecomesALimit) {
  EXPECT_EQ(Rows(*db_, "SELECT TOP 2 OrderID FROM Orders ORDER BY Amount DESC;"),
            (std::vector<std::string>{"W*X", "SO300"}));
  EXPECT_EQ(Rows(*db_, "SELECT DISTINCT TOP 1 Amount FROM Orders ORDER BY Amount"),
            std::vector<std::string>{"1"});
}

TEST_F(JetSqlTest, DateLiteralsCompareWithStoredIsoDates) {
  EXPECT_EQ(Rows(*db_, "SELECT OrderID FROM Orders WHERE Placed >= #1/5/2026# ORDER BY Amount"),
            (std::vector<std::string>{"WO100", "wo200"}));
  EXPECT_EQ(Rows(*db_, "SELECT OrderID FROM Orders WHERE Placed > #1/5/2026 7:03:00 AM#"),
            std::vector<std::string>{});
  EXPECT_EQ(Rows(*db_, "SELECT OrderID FROM Orders WHERE Placed < #2026-01-05#"),
            std::vector<std::string>{"SO300"});
}

TEST_F(JetSqlTest, MalformedDateLiteralsAreSyntaxErrors) {
  for (const char* bad : {"#2/30/2026#", "#13/1/2026#", "#1/5/2026 25:00#", "#yesterday#",
                          "#1/5/2026 7:03:00 XM#", "#1/5/2026"}) {
    try {
      db_->Query(std::string("SELECT ") + bad + " AS r");
      ADD_FAILURE() << bad;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), jet::kMissingOperator) << bad;
      EXPECT_NE(e.description().find("Syntax error in date"), std::string::npos) << bad;
    }
  }
}

TEST_F(JetSqlTest, DeleteStarAndDeleteTableStarRemoveTheRows) {
  db_->Execute("DELETE * FROM Orders WHERE Amount = 1;");
  db_->Execute("DELETE [Orders].* FROM [Orders] WHERE [Orders].[Amount] = 2");
  db_->Execute("DELETE Orders.* FROM Orders WHERE Orders.Note = \"star\"");
  EXPECT_EQ(Rows(*db_, "SELECT OrderID FROM Orders"), std::vector<std::string>{"SO300"});
}

TEST_F(JetSqlTest, NamesThatLookLikeJetWordsAreLeftAlone) {
  db_->Execute("CREATE TABLE [Left] ([True] INTEGER, [Len] TEXT, IsNullFlag INTEGER)");
  db_->Execute("INSERT INTO [Left] ([True], [Len], IsNullFlag) VALUES (True, 'x', False)");
  EXPECT_EQ(Rows(*db_, "SELECT [Left].[True], [Left].Len, IsNullFlag FROM [Left]"),
            std::vector<std::string>{"-1|x|0"});
}

TEST(JetSqlTranslationTest, LikeBecomesAnIndexFriendlyForm) {
  EXPECT_EQ(TranslateJetSql("DELETE * FROM Archiver_ListToDelete WHERE OrderID like  'PO1'"),
            "DELETE  FROM Archiver_ListToDelete WHERE OrderID =  'PO1' COLLATE NOCASE");
  EXPECT_EQ(TranslateJetSql("SELECT 1 FROM t WHERE x NOT LIKE 'a[*]'"),
            "SELECT 1 FROM t WHERE x <> 'a*' COLLATE NOCASE");
  EXPECT_EQ(TranslateJetSql("SELECT 1 FROM t WHERE [t].x LIKE 'WO*'"),
            "SELECT 1 FROM t WHERE ([t].x >= 'wo' COLLATE NOCASE AND [t].x < 'wp' COLLATE NOCASE "
            "AND [t].x LIKE 'WO*')");
  // Not a plain column as the whole left operand: the LIKE stays as it is.
  EXPECT_EQ(TranslateJetSql("SELECT 1 FROM t WHERE a || x LIKE 'WO*'"),
            "SELECT 1 FROM t WHERE a || x LIKE 'WO*'");
  EXPECT_EQ(TranslateJetSql("INSERT INTO t VALUES (1)"), "INSERT OR IGNORE INTO t VALUES (1)");
  EXPECT_EQ(TranslateJetSql("UPDATE t SET a = 1"), "UPDATE OR IGNORE t SET a = 1");
}

TEST(JetSqlTranslationTest, LiftingLiteralsGivesOneShapePerStatementForm) {
  auto lifted = LiftStringLiterals(
      "DELETE * FROM [Inventory Transactions] WHERE [Inventory Transactions].[PurchaseOrderID] = "
      "'PO-1';");
  ASSERT_TRUE(lifted.has_value());
  EXPECT_EQ(
      lifted->shape,
      "DELETE * FROM [Inventory Transactions] WHERE [Inventory Transactions].[PurchaseOrderID] "
      "= ?1;");
  EXPECT_EQ(lifted->values, std::vector<std::string>{"PO-1"});

  lifted =
      LiftStringLiterals("UPDATE t SET a = \"x\"\"y\", b = 'it''s', c = '' WHERE d < #1/5/2026#");
  ASSERT_TRUE(lifted.has_value());
  EXPECT_EQ(lifted->shape, "UPDATE t SET a = ?1, b = ?2, c = ?3 WHERE d < #1/5/2026#");
  EXPECT_EQ(lifted->values, (std::vector<std::string>{"x\"y", "it's", ""}));

  // A wildcard-free pattern is lifted as the equality it becomes, with the
  // text it matches; any other pattern stays, its text decides the translation.
  lifted = LiftStringLiterals("DELETE * FROM L WHERE OrderID like  'PO[*]1' AND x = 'a'");
  ASSERT_TRUE(lifted.has_value());
  EXPECT_EQ(lifted->shape, "DELETE * FROM L WHERE OrderID = ?1 COLLATE NOCASE AND x = ?2");
  EXPECT_EQ(lifted->values, (std::vector<std::string>{"PO*1", "a"}));
  for (const char* kept :
       {"DELETE FROM t WHERE x LIKE 'WO*'", "DELETE FROM t WHERE x NOT LIKE 'a'",
        "DELETE FROM t WHERE x LIKE 'a' & y", "DELETE FROM t WHERE x LIKE 'a' ESCAPE 'b'"}) {
    lifted = LiftStringLiterals(kept);
    ASSERT_TRUE(lifted.has_value());
    EXPECT_NE(lifted->shape.find("LIKE '"), std::string::npos) << kept;
  }

  // A parameter stands where the literal stood, an operand of "&" included.
  lifted = LiftStringLiterals("UPDATE t SET a = b & '-' & c");
  ASSERT_TRUE(lifted.has_value());
  EXPECT_EQ(TranslateJetSql(lifted->shape), "UPDATE OR IGNORE t SET a = jet_concat(b , ?1 , c)");

  // Text with parameters of its own is not lifted; "?" inside a literal is text.
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = ?").has_value());
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = :a").has_value());
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = @a OR b = 'x'").has_value());
  EXPECT_EQ(LiftStringLiterals("DELETE FROM t WHERE a = '?1'")->values,
            std::vector<std::string>{"?1"});
  // Nor is text with an unclosed string, or with very many literals.
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = 'x").has_value());
  std::string in_list = "DELETE FROM t WHERE a IN ('0'";
  for (int k = 1; k <= 100; ++k) in_list += ", '" + std::to_string(k) + "'";
  EXPECT_FALSE(LiftStringLiterals(in_list + ")").has_value());
  // A parameter never runs into a number or word behind it.
  EXPECT_EQ(LiftStringLiterals("DELETE FROM t WHERE a = 'x'5")->shape,
            "DELETE FROM t WHERE a = ?1 5");
}

}  // namespace
}  // namespace kestle::db
