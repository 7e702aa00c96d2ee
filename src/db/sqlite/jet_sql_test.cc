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
      // The text of a real number that is not whole, as a field's value and
      // inside a concatenation.
      {"0.1", "0.1"},
      {"1 / 4 - 1", "-0.75"},
      {"'x' & 0.1 & 1 / 4 & 2.5E-3", "x0.10.250.0025"},
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

TEST_F(JetSqlTest, OperatorsGiveJetValuesAndPrecedence) {
  struct Case {
    const char* expression;
    const char* result;
  };
  const Case kCases[] = {
      {"1 = 1", "-1"},
      {"1 = 2", "0"},
      {"'abc' = 'ABC'", "-1"},
      {"'a' < 'B'", "-1"},
      {"Ucase('x') = Lcase('X')", "-1"},
      {"Null = 1", "Null"},
      {"5 > 3 = True", "-1"},
      {"NOT 5", "-6"},
      {"NOT True", "0"},
      {"NOT 1 = 2", "-1"},
      {"NOT Null", "Null"},
      {"5 AND 3", "1"},
      {"5 OR 3", "7"},
      {"5 XOR 3", "6"},
      {"5 EQV 3", "-7"},
      {"5 IMP 3", "-5"},
      {"2.5 AND 3", "2"},
      {"'5' AND 3", "1"},
      {"1 < 2 AND 2 < 3", "-1"},
      {"1 = 1 AND 2 = 3 OR True", "-1"},
      {"Null AND False", "0"},
      {"Null AND True", "Null"},
      {"Null OR True", "-1"},
      {"Null OR False", "Null"},
      {"Null XOR True", "Null"},
      {"False IMP Null", "-1"},
      {"Null IMP True", "-1"},
      {"True IMP Null", "Null"},
      {"7.5 \\ 2", "4"},
      {"6.5 \\ 2", "3"},
      {"-7 \\ 2", "-3"},
      {"7 \\ 2 * 2", "1"},
      {"-10 Mod 3", "-1"},
      {"10 Mod 3.5", "2"},
      {"2 * 3 Mod 4", "2"},
      {"Null Mod 2", "Null"},
      {"2 ^ 3", "8"},
      {"-2 ^ 2", "-4"},
      {"2 ^ -1", "0.5"},
      {"2 ^ 3 ^ 2", "64"},
      {"1 + 2 * 3", "7"},
      {"'a' + 'b'", "ab"},
      {"1 + '2'", "3"},
      {"'x' + Null", "Null"},
      {"#1/31/2026# + 1", "2026-02-01 00:00:00"},
      {"1 + 2 = 3", "-1"},
      {"'n' & 1 = 1", "0"},
      {"IIf(5 AND 2, 'y', 'n')", "n"},
      {"IIf(NOT 1, 'y', 'n')", "y"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Scalar(*db_, std::string("SELECT ") + c.expression + " AS r"), c.result)
        << c.expression;
  }
  // Conditions: text without regard to case, numbers bitwise.
  const Case kConditions[] = {
      {"Note = 'FIRST'", "1"},   {"OrderID = 'wo100'", "1"},        {"NOT Amount", "4"},
      {"Amount AND 1", "2"},     {"Amount = 2 OR Amount = 3", "2"}, {"(Amount > 1) = True", "3"},
      {"Amount Mod 2 = 0", "2"},
  };
  for (const Case& c : kConditions) {
    EXPECT_EQ(Scalar(*db_, std::string("SELECT count(*) FROM Orders WHERE ") + c.expression),
              c.result)
        << c.expression;
  }
  db_->Execute("UPDATE Orders SET Amount = Amount \\ 2 + (Amount = 4) WHERE Amount > 2");
  EXPECT_EQ(Rows(*db_, "SELECT Amount FROM Orders ORDER BY OrderID"),
            (std::vector<std::string>{"1", "1", "1", "2"}));
}

// A computed column without a name of its own is called Expr1000, the next
// Expr1001, as Jet calls them; a column reference keeps its column's name.
TEST_F(JetSqlTest, ComputedColumnsAreNamedAsJetNamesThem) {
  struct Case {
    const char* sql;
    const char* field;
    const char* value;
  };
  const Case kCases[] = {
      {"SELECT Count(*) FROM Orders", "Expr1000", "4"},
      {"SELECT Max(Amount), Min(Amount) AS m, 1 + 1 FROM Orders", "Expr1001", "2"},
      {"SELECT DISTINCT TOP 1 Orders.OrderID, Ucase(Note) FROM Orders ORDER BY Orders.OrderID",
       "Expr1000", "IT'S"},
      {"SELECT TOP 1 Orders.OrderID, Ucase(Note) FROM Orders ORDER BY Orders.OrderID", "OrderID",
       "SO300"},
      {"SELECT 'a' & (SELECT Max(OrderID) FROM Orders), * FROM Orders", "Expr1000", "awo200"},
  };
  for (const Case& c : kCases) {
    auto rs = db_->OpenRecordset(c.sql);
    EXPECT_EQ(rs->Field(c.field).ToText(), c.value) << c.sql;
  }
}

TEST_F(JetSqlTest, TypedColumnsConvertWhatIsStoredInThem) {
  struct Case {
    const char* statement;
    const char* placed;  // Placed of order 'T' afterwards, or the error
  };
  const Case kCases[] = {
      {"INSERT INTO Orders (OrderID, Placed) VALUES ('T', '1/15/2026 3:04:05 PM')",
       "2026-01-15 15:04:05"},
      {"INSERT INTO Orders (OrderID, Placed) VALUES ('T', '2026-01-15')", "2026-01-15 00:00:00"},
      {"INSERT INTO Orders (OrderID, Placed) VALUES ('T', 46037.5)", "2026-01-15 12:00:00"},
      {"INSERT INTO Orders (OrderID, Placed) SELECT 'T', '2/29/2024 1:00 PM'",
       "2024-02-29 13:00:00"},
      {"INSERT INTO Orders (OrderID, Placed) VALUES ('T', Null)", "Null"},
      {"INSERT INTO Orders (OrderID, Placed) VALUES ('T', 'soon')",
       "3464: Data type mismatch in criteria expression."},
      {"INSERT INTO Orders (OrderID, Placed) VALUES ('T', '2/30/2024')",
       "3464: Data type mismatch in criteria expression."},
      {"INSERT INTO Orders (OrderID, Amount) VALUES ('T', 'many')",
       "3464: Data type mismatch in criteria expression."},
  };
  for (const Case& c : kCases) {
    db_->Execute("DELETE FROM Orders WHERE OrderID = 'T'");
    std::string got;
    try {
      db_->Execute(c.statement);
      got = Scalar(*db_, "SELECT Placed FROM Orders WHERE OrderID = 'T'");
    } catch (const RuntimeError& e) {
      got = std::to_string(e.number()) + ": " + e.description();
    }
    EXPECT_EQ(got, c.placed) << c.statement;
  }
  // Dates written as text sort and compare as dates.
  db_->Execute("UPDATE Orders SET Placed = '12/1/2025 9:00:00 AM' WHERE OrderID = 'SO300'");
  db_->Execute("UPDATE Orders SET Placed = '1/2/2026' WHERE OrderID = 'W*X'");
  EXPECT_EQ(Rows(*db_, "SELECT OrderID FROM Orders WHERE Placed >= #2025-12-01# ORDER BY Placed"),
            (std::vector<std::string>{"SO300", "W*X", "wo200", "WO100"}));
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
      {"1 \\ 0", "Division by zero"},
      {"5 Mod 0.4", "Division by zero"},
      {"'a' AND 1", "Type mismatch"},
      {"1 + 'a'", "Type mismatch"},
      {"(-2) ^ 0.5", "Invalid procedure call or argument"},
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

TEST_F(JetSqlTest, QueryFormsOfJet) {
  struct Case {
    const char* setup;  // an action statement first, or nullptr
    const char* query;
    std::vector<std::string> rows;
  };
  const Case kCases[] = {
      {nullptr, "SELECT TOP 2 OrderID FROM Orders ORDER BY Amount DESC;", {"W*X", "SO300"}},
      {nullptr, "SELECT DISTINCT TOP 1 Amount FROM Orders ORDER BY Amount", {"1"}},
      {nullptr, "SELECT TOP 50 PERCENT Amount FROM Orders ORDER BY Amount", {"1", "2"}},
      {nullptr, "SELECT TOP 30 PERCENT Amount FROM Orders ORDER BY Amount DESC", {"4", "3"}},
      {nullptr, "SELECT TOP 1 PERCENT Amount FROM Orders WHERE Amount > 9", {}},
      {nullptr, "SELECT DISTINCTROW Amount FROM Orders WHERE Amount < 3 ORDER BY 1", {"1", "2"}},
      {"SELECT OrderID, Amount * 2 AS Twice INTO Doubled FROM Orders WHERE Amount > 2",
       "SELECT Twice FROM Doubled ORDER BY Twice",
       {"6", "8"}},
      {"INSERT INTO Orders (OrderID, Amount) SELECT OrderID & '-copy', Amount + 10 FROM Orders "
       "WHERE Amount = 1",
       "SELECT OrderID FROM Orders WHERE Amount = 11",
       {"WO100-copy"}},
  };
  for (const Case& c : kCases) {
    if (c.setup != nullptr) db_->Execute(c.setup);
    EXPECT_EQ(Rows(*db_, c.query), c.rows) << c.query;
  }
  try {
    db_->Query("SELECT OrderID FROM Orders WHERE Amount > [Lowest amount]");
    ADD_FAILURE() << "a parameter without a value";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), jet::kTooFewParameters);
    EXPECT_EQ(e.description(), "Too few parameters. Expected 1.");
  }
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
  lifted = LiftStringLiterals("UPDATE t SET a = b & ' / ' & c");
  ASSERT_TRUE(lifted.has_value());
  EXPECT_EQ(TranslateJetSql(lifted->shape), "UPDATE OR IGNORE t SET a = jet_concat(b , ?1 , c)");

  // Number-like text stays in the shape: it compares as it stands.
  EXPECT_EQ(LiftStringLiterals("DELETE FROM t WHERE n = '42' OR a = ''")->shape,
            "DELETE FROM t WHERE n = '42' OR a = ?1");

  // Text with parameters of its own is not lifted; "?" inside a literal is text.
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = ?").has_value());
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = :a").has_value());
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = @a OR b = 'x'").has_value());
  EXPECT_EQ(LiftStringLiterals("DELETE FROM t WHERE a = '?1'")->values,
            std::vector<std::string>{"?1"});
  // Nor is text with an unclosed string, or with very many literals.
  EXPECT_FALSE(LiftStringLiterals("DELETE FROM t WHERE a = 'x").has_value());
  std::string in_list = "DELETE FROM t WHERE a IN ('x0'";
  for (int k = 1; k <= 100; ++k) in_list += ", 'x" + std::to_string(k) + "'";
  EXPECT_FALSE(LiftStringLiterals(in_list + ")").has_value());
  // A parameter never runs into a number or word behind it.
  EXPECT_EQ(LiftStringLiterals("DELETE FROM t WHERE a = 'x'5")->shape,
            "DELETE FROM t WHERE a = ?1 5");
}

}  // namespace
}  // namespace kestle::db
