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

// The name the engine knows a Jet function by, or nothing for a name that
// is no Jet function.
std::optional<std::string> FunctionName(std::string_view jet_name);

// Words after which a column reference is a whole operand of LIKE.
inline constexpr std::array<std::string_view, 10> kOperandBoundaryWords = {
    "AND", "OR", "NOT", "WHERE", "ON", "HAVING", "WHEN", "THEN", "ELSE", "SELECT"};

using ascii::Lower;

// Words that end an operand: keywords of clauses and of operators that bind
// more loosely.
inline constexpr std::array<std::string_view, 30> kNonOperandWords = {
    "SELECT",  "FROM",     "WHERE", "AND",   "OR",    "NOT",  "ON",     "HAVING",  "WHEN",   "THEN",
    "ELSE",    "END",      "CASE",  "AS",    "BY",    "SET",  "VALUES", "LIKE",    "IS",     "IN",
    "BETWEEN", "DISTINCT", "GROUP", "ORDER", "UNION", "INTO", "JOIN",   "COLLATE", "ESCAPE", "MOD"};

// Words that may follow a complete LIKE operand.
inline constexpr std::array<std::string_view, 15> kOperandFollowerWords = {
    "AND",    "OR",    "THEN",  "ELSE",   "END",       "WHEN",  "GROUP", "ORDER",
    "HAVING", "LIMIT", "UNION", "EXCEPT", "INTERSECT", "WHERE", "FROM"};

// LIMIT for TOP n PERCENT: n, then the query, between these.
inline constexpr std::string_view kPercentLimitOpen =
    " LIMIT (SELECT CAST(p AS INTEGER) + (p > CAST(p AS INTEGER)) FROM (SELECT count(*) * ";
inline constexpr std::string_view kPercentLimitFrom = " / 100.0 AS p FROM (";
inline constexpr std::string_view kPercentLimitClose = ")))";

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
  explicit Translator(std::string_view jet) : tokens_(Lex(jet)) { NameComputedColumns(); }

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
  // The statement's first significant token; tokens_.size() when there is none.
  size_t FirstSig() const {
    return !tokens_.empty() && Significant(tokens_[0].kind) ? 0 : NextSig(0);
  }
  // The index in out_ of the last significant output token, or -1.
  int LastOut() const;
  bool OutIs(int k, std::string_view text) const {
    return k >= 0 && EqualsNoCase(out_[k].text, text);
  }

  void Emit(std::string text, Kind kind) { out_.push_back({std::move(text), kind}); }

  void Translate(size_t i);

  void TranslateWord(size_t i, bool first_word);

  // SELECT [DISTINCT] TOP n [PERCENT]: drops "TOP n" and remembers n for a
  // LIMIT at the end.
  void SkipTop(size_t next);

  // Puts " LIMIT n" (or n percent of the rows) after the statement, before a
  // closing ";".
  void AppendLimit();

  // --- Operators (jet_expressions.cc, jet_operator_rewrites.cc) ----------------------------------

  enum class ExprKind {
    kLeaf,     // a literal, name, call or parenthesized list or subquery
    kParen,    // ( expression )
    kCompare,  // = <> < > <= >=
    kTest,     // LIKE, IS NULL, BETWEEN, IN, EXISTS: SQLite's own truth value
    kNot,
    kLogic,   // AND, OR: SQLite's own over truth values, else a call
    kCall,    // XOR EQV IMP \ Mod ^: always a call of `function`
    kAdd,     // +: a call unless both operands are numbers
    kArith,   // - * / and a sign: SQLite's own
    kConcat,  // a & b & ...
  };
  // One parsed expression over the tokens first..last.
  struct Expr {
    ExprKind kind = ExprKind::kLeaf;
    size_t first = 0, last = 0;
    size_t op = 0;  // the operator's token
    std::vector<int> kids;
    std::vector<size_t> ops;         // kConcat: every "&"
    const char* function = nullptr;  // kLogic, kCall
    bool numeric = false;            // certainly a number
    bool text = false;               // certainly text
    bool date = false;               // a date literal
    bool column = false;             // a plain column reference
    bool jet_truth = false;          // Jet's -1/0 (True, False, IsNull)
  };

  // Parses every expression of a SELECT, INSERT, UPDATE or DELETE and marks
  // its rewrites.
  void MarkOperators();
  // Parses and marks the expressions between tokens `begin` and `end`; the
  // first one is a condition when `condition_first` is.
  void MarkRange(size_t begin, size_t end, bool condition_first);
  // The expression at `i` of `level` (0: IMP, the loosest) and tighter; its
  // index in exprs_, or -1 when no operand starts at `i`.
  int ParseLevel(size_t i, int level);
  int ParseComparison(size_t i);
  int ParsePrimary(size_t i);
  int ParseParenthesis(size_t open);
  int NewExpr(ExprKind kind, size_t first, size_t last, std::vector<int> kids, size_t op);
  // True when expression `e` is a truth value that SQLite's AND, OR and NOT
  // treat as Jet's do.
  bool IsTruth(int e) const;
  // Marks the rewrites of expression `e` and its operands; `condition` when
  // only its truth counts.
  void MarkExpr(int e, bool condition);
  void Wrap(int e, std::string_view open, std::string_view close);
  // Expression `e` as a call of `function` over its operands.
  void MarkCall(int e, const char* function);
  // Text comparison without regard to case, where no index is lost by it.
  void MarkCollation(int e);
  // The significant token after `i` before end_; tokens_.size() when none.
  size_t Next(size_t i) const;
  // True for a word that never starts an operand.
  bool IsKeyword(size_t i) const;
  // The significant token before `i`; tokens_.size() when there is none.
  size_t PrevSig(size_t i) const;
  // The matching parenthesis of the one at `k`, walking in `step` direction;
  // tokens_.size() when there is none.
  size_t MatchParen(size_t k, int step) const;

  // SELECT ... INTO t FROM ..., Jet's make-table query: SQLite's CREATE TABLE t
  // AS SELECT ... FROM ...
  void MarkSelectInto();

  // DROP INDEX i ON t: drops "ON t", since SQLite's index names are unique
  // within the database.
  void SkipDropIndexTable(size_t name);

  // Names the columns of a SELECT as Jet does: an expression in the select
  // list without an AS name of its own gets "AS [Expr1000]", the next one
  // [Expr1001], and so on; a column reference keeps its column's name.
  // Inserts the tokens, so that every later pass sees them as written.
  void NameComputedColumns();

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
  // Operator tokens that became other text (argument commas).
  std::map<size_t, std::string> replace_;
  std::vector<Expr> exprs_;
  size_t end_ = 0;  // where the expressions being parsed end
  std::map<size_t, std::string> insert_before_;
  std::map<size_t, std::string> append_after_;
  std::string limit_;       // from SELECT TOP n
  bool percent_ = false;    // TOP n PERCENT
  size_t query_start_ = 0;  // where the SELECT starts in out_
  bool seen_first_ = false;
};

}  // namespace kestle::db::translate

#endif  // KESTLE_DB_SQLITE_JET_TRANSLATOR_H_
