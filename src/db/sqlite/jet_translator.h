// The Jet translator's internals, shared by jet_sql.cc (the token pass and
// string-literal lifting) and jet_rewrites.cc (the rewrites that span several
// tokens: "&" chains, make-table queries, DELETE targets, IsNull and LIKE).
#ifndef KESTLE_DB_SQLITE_JET_TRANSLATOR_H_
#define KESTLE_DB_SQLITE_JET_TRANSLATOR_H_

#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "db/sqlite/jet_lex.h"
#include "db/sqlite/jet_sql.h"

namespace kestle::db::translate {

using lex::EqualsNoCase;
using lex::FoldLower;
using lex::IsClosed;
using lex::IsWordChar;
using lex::Kind;
using lex::Lex;
using lex::Significant;
using lex::ThrowDateError;
using lex::Token;
using lex::Unquote;

// `text` as an SQLite string literal.
inline std::string SqlQuote(std::string_view text) { return ascii::Enclosed(text, '\''); }

// Jet functions that map onto a function of another name.
const std::map<std::string, std::string>& FunctionRenames();

// Words after which a column reference is a whole operand of LIKE.
inline constexpr std::array<std::string_view, 10> kOperandBoundaryWords = {
    "AND", "OR", "NOT", "WHERE", "ON", "HAVING", "WHEN", "THEN", "ELSE", "SELECT"};

using ascii::Lower;

// Words that end an operand of "&": keywords of clauses and of operators that
// bind more loosely.
inline constexpr std::array<std::string_view, 30> kNonOperandWords = {
    "SELECT",  "FROM",     "WHERE", "AND",   "OR",    "NOT",  "ON",     "HAVING",  "WHEN",   "THEN",
    "ELSE",    "END",      "CASE",  "AS",    "BY",    "SET",  "VALUES", "LIKE",    "IS",     "IN",
    "BETWEEN", "DISTINCT", "GROUP", "ORDER", "UNION", "INTO", "JOIN",   "COLLATE", "ESCAPE", "MOD"};

// Words that may follow a complete LIKE operand.
inline constexpr std::array<std::string_view, 15> kOperandFollowerWords = {
    "AND",    "OR",    "THEN",  "ELSE",   "END",       "WHEN",  "GROUP", "ORDER",
    "HAVING", "LIMIT", "UNION", "EXCEPT", "INTERSECT", "WHERE", "FROM"};

// Jet's "/" in SQLite.
inline constexpr std::string_view kRealDivision = "* 1.0 /";

// The most arguments of one jet_concat call; SQLite refuses more than 127.
inline constexpr size_t kMaxConcatArguments = 100;

// The most string literals lifted out of one statement. Statements with more
// (long IN lists) are not the repeated kind, and SQLite prepares many
// numbered parameters in quadratic time.
inline constexpr size_t kMaxLiftedLiterals = 100;

// The characters that start an SQLite parameter.
inline constexpr std::string_view kParameterMarks = "?:@$";

// True when comparing `text` with a column gives LIKE's answer. Text made
// only of number characters breaks the comparison forms twice over: a column
// of numeric affinity turns the literal into a number (n = '01' holds for 1),
// and a stored number never lies in a text range although its text may match
// the pattern (10 LIKE '1*'). Text with any other character is neither.
bool ComparesAsText(std::string_view text);

struct OutToken {
  std::string text;
  Kind kind;
};

// One statement's translation (see TranslateJetSql and LiftStringLiterals).
class Translator {
 public:
  explicit Translator(std::string_view jet) : tokens_(Lex(jet)) {}

  // The statement with its string literals lifted out (see
  // LiftStringLiterals). A wildcard-free LIKE pattern that TranslateLike
  // would turn into an equality is lifted as that equality, its value the
  // text the pattern matches.
  std::optional<LiftedStatement> Lift() const;

  std::string Run();

 private:
  bool IsWord(size_t i, std::string_view w) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kWord && EqualsNoCase(tokens_[i].text, w);
  }
  bool IsPunct(size_t i, std::string_view p) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kPunct && tokens_[i].text == p;
  }
  bool IsName(size_t i) const;
  // The significant token after `i`; tokens_.size() when there is none.
  size_t NextSig(size_t i) const;
  // The index in out_ of the last significant output token, or -1.
  int LastOut() const;
  bool OutIs(int k, std::string_view text) const {
    return k >= 0 && EqualsNoCase(out_[k].text, text);
  }

  void Emit(std::string text, Kind kind) { out_.push_back({std::move(text), kind}); }

  void Translate(size_t i);

  void TranslateWord(size_t i, bool first_word);

  // SELECT [DISTINCT] TOP n: drops "TOP n" and remembers n for a LIMIT at the end.
  void SkipTop(size_t next);

  // Puts " LIMIT n" after the statement, before a closing ";".
  void AppendLimit();

  // --- "&" chains -------------------------------------------------------------
  //
  // Jet's "&" joins the text of its operands, taking Null as "" (the result is
  // Null only when every operand is), and binds more loosely than arithmetic
  // but more tightly than comparisons. SQLite's "||" gives Null for any Null
  // operand and binds most tightly of all. A chain "a & b + 1 & c" therefore
  // becomes jet_concat(a, b + 1, c): the operands are found by walking over
  // the tokens that bind more tightly than "&".

  // True for a token that is (part of) an operand: a name, literal or number.
  bool IsOperandToken(size_t k) const;
  // True for an operator that binds more tightly than "&" (or joins a name).
  bool IsTighterOperator(size_t k) const;
  // The significant token before `i`; tokens_.size() when there is none.
  size_t PrevSig(size_t i) const;
  // The matching parenthesis of the one at `k`, walking in `step` direction;
  // tokens_.size() when there is none.
  size_t MatchParen(size_t k, int step) const;
  // The first token of the operand that ends just before the "&" at `amp`;
  // tokens_.size() when there is none.
  size_t OperandBefore(size_t amp) const;
  // The last token of the operand that starts just after the "&" at `amp`;
  // tokens_.size() when there is none.
  size_t OperandAfter(size_t amp) const;

  void MarkConcatenations();

  // SELECT ... INTO t FROM ..., Jet's make-table query: SQLite's CREATE TABLE t
  // AS SELECT ... FROM ...
  void MarkSelectInto();

  // DROP INDEX i ON t: drops "ON t", since SQLite's index names are unique
  // within the database.
  void SkipDropIndexTable(size_t name);

  // DELETE * FROM and DELETE [t].* FROM: drops what stands between DELETE and FROM.
  void SkipDeleteTarget(size_t next);

  // IsNull(x) -> (-((x) IS NULL)): the name becomes "(-(" and the closing
  // parenthesis of the call gets " IS NULL))" behind it. The minus gives
  // Jet's True, -1, so that IsNull(x) = True holds and "&" shows -1.
  bool RewriteIsNull(size_t open);

  // The text matched by the pattern at `pattern_index` when TranslateLike
  // turns the LIKE at `like` into an equality: a literal without wildcards
  // that is the whole operand, after a LIKE without NOT.
  std::optional<std::string> WildcardFreePattern(size_t like, size_t pattern_index) const;

  // LIKE with a literal pattern: an equality when it has no wildcard, an
  // index-friendly range in front of the LIKE when it is a fixed prefix and
  // "*". Returns false to leave the LIKE to the engine's Jet like().
  bool TranslateLike(size_t like, size_t pattern_index);

  // Takes the plain column reference ending at out_[last] (see OperandStart)
  // out of the output into *operand; false, changing nothing, when the left
  // operand of the LIKE is not one.
  bool TakeOperand(int last, std::string* operand);

  // True when the token at `k` (or the end) cannot continue the operand before it.
  bool EndsOperand(size_t k) const;

  // The index in out_ where a plain column reference (name or name.name...)
  // ending at `last` starts, when that reference is the whole left operand of
  // the LIKE; -1 otherwise.
  int OperandStart(int last) const;

  std::vector<Token> tokens_;
  std::vector<OutToken> out_;
  std::set<size_t> skip_;
  // "&" tokens that became argument commas, with their text.
  std::map<size_t, std::string> concat_operators_;
  std::map<size_t, std::string> insert_before_;
  std::map<size_t, std::string> append_after_;
  std::string limit_;  // from SELECT TOP n
  bool seen_first_ = false;
};

}  // namespace kestle::db::translate

#endif  // KESTLE_DB_SQLITE_JET_TRANSLATOR_H_
