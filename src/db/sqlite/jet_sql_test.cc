// The Jet dialect on real SQLite: each case is Jet text in and the result the
// engine gives for it out, including wildcards and Jet syntax inside string
// literals that must pass through untouched.
#include "db/sqlite/jet_sql.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <set>

#include "db/jet_errors.h"
#include "db/sqlite/db_test_util.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::Scalar;
using testing::TempDir;

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
    std::string indexed = Scalar(*db_, "SELECT count(*) FROM Words WHERE w LIKE '" + pattern + "'");
    std::string plain = Scalar(*db_, "SELECT count(*) FROM Plain WHERE w LIKE '" + pattern + "'");
    std::string literal = Scalar(*db_, "SELECT count(*) FROM Orders WHERE OrderID = 'WO100' AND '" +
                                           text + "' LIKE '" + pattern + "'");
    std::string negated =
        Scalar(*db_, "SELECT count(*) FROM Words WHERE w NOT LIKE '" + pattern + "'");
    EXPECT_EQ(indexed, plain) << pattern << " / " << text;
    EXPECT_EQ(indexed, literal) << pattern << " / " << text;
    EXPECT_NE(indexed, negated) << pattern << " / " << text;
    return indexed == "1";
  }

  TempDir dir_;
  std::shared_ptr<SqliteDatabase> db_;
};

TEST_F(JetSqlTest, LikeFollowsJetWildcardsWithoutRegardToCase) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  };
  const Case kCases[] = {
      {"WO100", "WO100", true},
      {"WO100", "wo100", true},
      {"WO100", "WO1000", false},
      {"WO*", "WO100", true},
      {"WO*", "wo", true},
      {"WO*", "SWO", false},
      {"*00", "WO100", true},
      {"*1*", "WO100", true},
      {"*1*", "WO200", false},
      {"W?1??", "WO100", true},
      {"W?1??", "WO10", false},
      {"WO#00", "WO100", true},
      {"WO#00", "WOX00", false},
      {"[SW]O*", "SO3", true},
      {"[!SW]O*", "SO3", false},
      {"[!SW]O*", "PO3", true},
      {"[a-c]*", "Banana", true},
      {"[a-c]*", "dog", false},
      {"[A-C]*", "banana", true},
      {"W[*]X", "W*X", true},
      {"W[*]X", "WOX", false},
      {"W[?]X", "W?X", true},
      {"[#]1", "#1", true},
      {"a[[]b", "a[b", true},
      {"*", "", true},
      {"", "", true},
      {"", "x", false},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"*é*", "café", true},
      {"caf?", "café", true},
      {"100%", "100%", true},
      {"100%", "1000", false},
      {"a_c", "abc", false},
      {"a_c", "a_c", true},
      {"[@]*", "[x", false},
      {"[@]*", "@x", true},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Like(c.pattern, c.text), c.match) << c.pattern << " / " << c.text;
  }
}

// A number matches a pattern by its text, in a column of any affinity and in
// every form a LIKE may take (a literal pattern that could be a number's text
// included).
TEST_F(JetSqlTest, LikeMatchesNumbersByTheirText) {
  db_->Execute("CREATE TABLE Nums (n INTEGER, r REAL)");
  db_->Execute("CREATE INDEX Nums_n ON Nums (n)");
  for (const char* row : {"1, 1.5", "10, 2.5", "100, 10.5", "2, 0.5"}) {
    db_->Execute(std::string("INSERT INTO Nums VALUES (") + row + ")");
  }
  struct Case {
    const char* column;
    const char* condition;
    std::vector<std::string> rows;
  };
  const Case kCases[] = {
      {"n", "n LIKE '1*'", {"1", "10", "100"}},
      {"n", "n LIKE '1'", {"1"}},
      {"n", "n LIKE '01'", {}},
      {"n", "n LIKE ' 1'", {}},
      {"n", "n LIKE '1e0'", {}},
      {"n", "n NOT LIKE '01'", {"1", "2", "10", "100"}},
      {"r", "r LIKE '1.50'", {}},
      {"r", "(r) LIKE '1.50'", {}},
      {"r", "r LIKE '1*'", {"1.5", "10.5"}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Rows(*db_, std::string("SELECT ") + c.column + " FROM Nums WHERE " + c.condition +
                             " ORDER BY n"),
              c.rows)
        << c.condition;
    // The same condition in an action statement, whose literals become parameters.
    db_->Execute(std::string("UPDATE Nums SET n = n WHERE ") + c.condition);
    EXPECT_EQ(db_->RecordsAffected(), static_cast<int64_t>(c.rows.size())) << c.condition;
  }
}

// One element of a random Jet pattern: its Jet text and the same as an
// ECMAScript regular expression, written independently of the matcher.
struct PatternPiece {
  const char* jet;
  const char* regex;
};

TEST_F(JetSqlTest, LikeComparisonFormsAgreeWithTheMatcherOnRandomPatterns) {
  const PatternPiece kPieces[] = {
      {"a", "a"},         {"B", "B"},     {"1", "1"},     {"0", "0"},       {" ", " "},
      {"*", ".*"},        {"?", "."},     {"#", "[0-9]"}, {"[ab]", "[ab]"}, {"[!a]", "[^a]"},
      {"[a-b]", "[a-b]"}, {"[*]", "\\*"}, {"[[]", "\\["}, {"[?]", "\\?"},   {"[#]", "#"},
      {"[0-9]", "[0-9]"}, {"-", "-"},     {"]", "\\]"},   {".", "\\."},
  };
  const std::string kValueChars = "aAbB10 *?#[-.]";
  std::mt19937 random(20261205);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  db_->Execute("CREATE TABLE V (w COLLATE NOCASE, hit INTEGER)");
  db_->Execute("CREATE INDEX V_w ON V (w)");
  std::vector<std::string> values;
  for (int k = 0; k < 150; ++k) {
    std::string v;
    if (k % 3 == 0) {
      v = std::to_string(pick(120));
      db_->Execute("INSERT INTO V (w) VALUES (" + v + ")");  // stored as a number
    } else {
      for (size_t len = pick(5); len > 0; --len) v += kValueChars[pick(kValueChars.size())];
      db_->Execute("INSERT INTO V (w) VALUES ('" + v + "')");
    }
    values.push_back(v);
  }
  for (int round = 0; round < 300; ++round) {
    std::string jet, regex;
    for (size_t n = pick(4); n > 0; --n) {
      const PatternPiece& piece = kPieces[pick(std::size(kPieces))];
      jet += piece.jet;
      regex += piece.regex;
    }
    if (pick(2) == 0) {
      jet += "*";
      regex += ".*";
    }
    std::regex expected_re(regex, std::regex::icase);
    std::set<std::string> expected;
    for (size_t k = 0; k < values.size(); ++k) {
      if (std::regex_match(values[k], expected_re)) expected.insert(std::to_string(k + 1));
    }
    auto rows = [&](const std::string& where) {
      std::vector<std::string> r = Rows(*db_, "SELECT rowid FROM V WHERE " + where);
      return std::set<std::string>(r.begin(), r.end());
    };
    // A literal pattern may take a comparison form; a parenthesized one never does.
    EXPECT_EQ(rows("w LIKE '" + jet + "'"), expected) << jet;
    EXPECT_EQ(rows("w LIKE ('" + jet + "')"), expected) << jet;
    EXPECT_EQ(rows("NOT w LIKE '" + jet + "'").size(), values.size() - expected.size()) << jet;
    EXPECT_EQ(rows("w NOT LIKE '" + jet + "'").size(), values.size() - expected.size()) << jet;
    db_->Execute("UPDATE V SET hit = 0");
    db_->Execute("UPDATE V SET hit = 1 WHERE w LIKE '" + jet + "'");
    EXPECT_EQ(rows("hit = 1"), expected) << jet;
  }
}

TEST_F(JetSqlTest, LikeAcceptsJetDoubleQuotedPatternAndRejectsUnclosedOnes) {
  EXPECT_EQ(Rows(*db_, "SELECT OrderID FROM Orders WHERE OrderID LIKE \"wo*\" ORDER BY Amount"),
            (std::vector<std::string>{"WO100", "wo200"}));
  struct Case {
    const char* condition;
    std::string error;
  };
  const Case kCases[] = {
      {"Note LIKE '[abc'", "Invalid pattern string"},
      {"OrderID LIKE 'WO100", jet::Text(jet::kMissingOperator, "'WO100")},
      {"OrderID LIKE 'WO*", jet::Text(jet::kMissingOperator, "'WO*")},
      {"OrderID LIKE \"WO100", jet::Text(jet::kMissingOperator, "\"WO100")},
  };
  for (const Case& c : kCases) {
    for (std::string sql : {"SELECT OrderID FROM Orders WHERE ", "DELETE FROM Orders WHERE "}) {
      sql += c.condition;
      try {
        if (sql.starts_with("SELECT")) {
          db_->Query(sql);
        } else {
          db_->Execute(sql);
        }
        ADD_FAILURE() << "no error: " << sql;
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.description(), c.error) << sql;
      }
    }
  }
}

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
      EXPECT_EQ(e.number(), 1) << bad;
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

TEST(JetPatternTest, LiteralTextAndPrefix) {
  EXPECT_EQ(JetPattern::Compile("AB[*]C")->LiteralText(), "AB*C");
  EXPECT_EQ(JetPattern::Compile("AB*")->LiteralText(), std::nullopt);
  EXPECT_EQ(JetPattern::Compile("AB**")->LiteralPrefix(), "AB");
  EXPECT_EQ(JetPattern::Compile("A?B*")->LiteralPrefix(), std::nullopt);
  EXPECT_EQ(JetPattern::Compile("*")->LiteralPrefix(), std::nullopt);
  EXPECT_FALSE(JetPattern::Compile("[ab").has_value());
}

}  // namespace
}  // namespace kestle::db
