// Jet's LIKE on real SQLite: wildcards, numbers matched by their text, the
// comparison forms the translator makes against the engine's matcher, and
// the compiled pattern's fixed text.
#include "db/sqlite/jet_like.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <set>

#include "db/jet_errors.h"
#include "db/sqlite/jet_test_fixture.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

using testing::Rows;
using testing::Scalar;

TEST_F(JetSqlTest, LikeFollowsJetWildcardsWithoutRegardToCase) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  };
  // The wildcards themselves meet random patterns below; here what those
  // leave out: ranges and case, empty patterns, UTF-8 text, SQLite's own
  // wildcards as plain characters, and a bracket that holds no wildcard.
  const Case kCases[] = {
      {"[a-c]*", "Banana", true}, {"[a-c]*", "dog", false}, {"[A-C]*", "banana", true},
      {"*", "", true},            {"", "", true},           {"", "x", false},
      {"*é*", "café", true},      {"caf?", "café", true},   {"100%", "100%", true},
      {"100%", "1000", false},    {"a_c", "abc", false},    {"a_c", "a_c", true},
      {"[@]*", "[x", false},      {"[@]*", "@x", true},
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
    std::string condition;
    std::string error;
  };
  const Case kCases[] = {
      {"Note LIKE '[abc'", "Invalid pattern string"},
      {"Note LIKE '" + std::string(JetPattern::kMaxPatternBytes + 1, '*') + "'",
       jet::Text(jet::kQueryTooComplex)},
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

TEST(JetPatternTest, LiteralTextAndPrefix) {
  EXPECT_EQ(JetPattern::Compile("AB[*]C")->LiteralText(), "AB*C");
  EXPECT_EQ(JetPattern::Compile("AB*")->LiteralText(), std::nullopt);
  EXPECT_EQ(JetPattern::Compile("AB**")->LiteralPrefix(), "AB");
  EXPECT_EQ(JetPattern::Compile("A?B*")->LiteralPrefix(), std::nullopt);
  EXPECT_EQ(JetPattern::Compile("*")->LiteralPrefix(), std::nullopt);
  EXPECT_FALSE(JetPattern::Compile("[ab").has_value());
}

TEST(JetPatternTest, PatternsThatWouldBacktrackMostStillAnswer) {
  const std::string text(20000, 'a');
  std::string stars;  // *a*a*...*b
  while (stars.size() + 3 <= JetPattern::kMaxPatternBytes) stars += "*a";
  const std::string run = "*" + std::string(JetPattern::kMaxPatternBytes - 2, 'a') + "b";
  for (const std::string& pattern : {stars + "*b", run}) {
    EXPECT_FALSE(JetPattern::Compile(pattern)->Matches(text)) << pattern.size();
    EXPECT_TRUE(JetPattern::Compile(pattern)->Matches(text + "b")) << pattern.size();
  }
}

}  // namespace
}  // namespace kestle::db
