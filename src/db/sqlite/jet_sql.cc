// The Jet SQL translator (see jet_sql.h).
#include "db/sqlite/jet_sql.h"

#include <sqlite3.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "db/sqlite/jet_date.h"
#include "db/sqlite/jet_lex.h"
#include "platform/error.h"

namespace kestle::db {
namespace {

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
std::string SqlQuote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  out.push_back('\'');
  return out;
}

// The lexer's failures carry SQLite's generic error code without including
// sqlite3.h, so that another engine can reuse it.
static_assert(lex::kSyntaxErrorCode == SQLITE_ERROR);

// --- The rewriting pass ----------------------------------------------------

// Jet functions that map onto a function of another name.
const std::map<std::string, std::string>& FunctionRenames() {
  static const auto* kRenames = new std::map<std::string, std::string>{
      {"ucase", "upper"},
      {"lcase", "lower"},
      {"len", kJetLenFunction},
      {"trim", "trim"},
      {"iif", "iif"},
      {"nz", kJetNzFunction},
      {"left", kJetLeftFunction},
      {"right", kJetRightFunction},
      {"mid", kJetMidFunction},
  };
  return *kRenames;
}

// Words after which a column reference is a whole operand of LIKE.
constexpr std::array<std::string_view, 10> kOperandBoundaryWords = {
    "AND", "OR", "NOT", "WHERE", "ON", "HAVING", "WHEN", "THEN", "ELSE", "SELECT"};

// `s` with its ASCII letters in lower case.
std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(FoldLower(static_cast<unsigned char>(c)));
  return out;
}

// Words that end an operand of "&": keywords of clauses and of operators that
// bind more loosely.
constexpr std::array<std::string_view, 30> kNonOperandWords = {
    "SELECT",  "FROM",     "WHERE", "AND",   "OR",    "NOT",  "ON",     "HAVING",  "WHEN",   "THEN",
    "ELSE",    "END",      "CASE",  "AS",    "BY",    "SET",  "VALUES", "LIKE",    "IS",     "IN",
    "BETWEEN", "DISTINCT", "GROUP", "ORDER", "UNION", "INTO", "JOIN",   "COLLATE", "ESCAPE", "MOD"};

// Words that may follow a complete LIKE operand.
constexpr std::array<std::string_view, 15> kOperandFollowerWords = {
    "AND",    "OR",    "THEN",  "ELSE",   "END",       "WHEN",  "GROUP", "ORDER",
    "HAVING", "LIMIT", "UNION", "EXCEPT", "INTERSECT", "WHERE", "FROM"};

// Jet's "/" in SQLite.
constexpr std::string_view kRealDivision = "* 1.0 /";

// The most arguments of one jet_concat call; SQLite refuses more than 127.
constexpr size_t kMaxConcatArguments = 100;

// The most string literals lifted out of one statement. Statements with more
// (long IN lists) are not the repeated kind, and SQLite prepares many
// numbered parameters in quadratic time.
constexpr size_t kMaxLiftedLiterals = 100;

// The characters that start an SQLite parameter.
constexpr std::string_view kParameterMarks = "?:@$";

// Every character that can appear in SQLite's text of a number ("-12",
// "1.5e+20", "Inf", either case since LIKE ignores it) or around a number
// that affinity reads from text (blanks).
constexpr std::string_view kNumberTextChars = "0123456789+-.eEiInNfF \t\n\v\f\r";

// True when comparing `text` with a column gives LIKE's answer. Text made
// only of number characters breaks the comparison forms twice over: a column
// of numeric affinity turns the literal into a number (n = '01' holds for 1),
// and a stored number never lies in a text range although its text may match
// the pattern (10 LIKE '1*'). Text with any other character is neither.
bool ComparesAsText(std::string_view text) {
  return text.find_first_not_of(kNumberTextChars) != std::string_view::npos;
}

struct OutToken {
  std::string text;
  Kind kind;
};

class Translator {
 public:
  explicit Translator(std::string_view jet) : tokens_(Lex(jet)) {}

  // The statement with its string literals lifted out (see
  // LiftStringLiterals). A wildcard-free LIKE pattern that TranslateLike
  // would turn into an equality is lifted as that equality, its value the
  // text the pattern matches.
  std::optional<LiftedStatement> Lift() const {
    LiftedStatement lifted;
    std::string& shape = lifted.shape;
    shape.reserve(tokens_.size() * 8);
    size_t previous = tokens_.size();  // the last significant token
    size_t like_at = 0;                // where the last LIKE starts in the shape
    for (size_t i = 0; i < tokens_.size(); ++i) {
      const Token& t = tokens_[i];
      // Text that carries parameters of its own would mix them with the lifted ones.
      if (t.kind == Kind::kParameter ||
          (t.kind == Kind::kPunct && kParameterMarks.find(t.text[0]) != std::string_view::npos)) {
        return std::nullopt;
      }
      // An unclosed string is an error that the plain way reports; lifted,
      // its text would run as a value.
      if ((t.kind == Kind::kString || t.kind == Kind::kJetString) && !IsClosed(t)) {
        return std::nullopt;
      }
      // A parameter must not run into what follows: 'a'5 would become ?15.
      unsigned char first = t.text[0];
      if (!shape.empty() && std::isdigit(static_cast<unsigned char>(shape.back())) &&
          (IsWordChar(first) || first == '.')) {
        shape += ' ';
      }
      if (IsWord(i, "LIKE")) like_at = shape.size();
      bool literal = t.kind == Kind::kString || t.kind == Kind::kJetString;
      if (!literal) {
        shape += t.text;
      } else if (lifted.values.size() == kMaxLiftedLiterals) {
        return std::nullopt;
      } else if (!IsWord(previous, "LIKE")) {
        lifted.values.push_back(Unquote(t));
        shape += "?" + std::to_string(lifted.values.size());
      } else if (std::optional<std::string> text = WildcardFreePattern(previous, i)) {
        lifted.values.push_back(*text);
        shape.resize(like_at);
        shape += "= ?" + std::to_string(lifted.values.size()) + " COLLATE NOCASE";
      } else {
        // The pattern's text decides how the LIKE is translated: it stays.
        shape += t.text;
      }
      if (Significant(t.kind)) previous = i;
    }
    return lifted;
  }

  std::string Run() {
    MarkConcatenations();
    MarkSelectInto();
    for (size_t i = 0; i < tokens_.size(); ++i) {
      if (auto it = insert_before_.find(i); it != insert_before_.end()) {
        out_.push_back({it->second, Kind::kPunct});
      }
      if (!skip_.count(i)) Translate(i);
      if (auto it = append_after_.find(i); it != append_after_.end()) {
        out_.push_back({it->second, Kind::kPunct});
      }
    }
    if (!limit_.empty()) AppendLimit();
    std::string sql;
    for (const OutToken& t : out_) sql += t.text;
    return sql;
  }

 private:
  bool IsWord(size_t i, std::string_view w) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kWord && EqualsNoCase(tokens_[i].text, w);
  }
  bool IsPunct(size_t i, std::string_view p) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kPunct && tokens_[i].text == p;
  }
  bool IsName(size_t i) const {
    if (i >= tokens_.size()) return false;
    Kind k = tokens_[i].kind;
    return k == Kind::kWord || k == Kind::kBracket || k == Kind::kBacktick;
  }
  // The significant token after `i`; tokens_.size() when there is none.
  size_t NextSig(size_t i) const {
    for (++i; i < tokens_.size(); ++i) {
      if (Significant(tokens_[i].kind)) break;
    }
    return i;
  }
  // The index in out_ of the last significant output token, or -1.
  int LastOut() const {
    for (int k = static_cast<int>(out_.size()) - 1; k >= 0; --k) {
      if (Significant(out_[k].kind)) return k;
    }
    return -1;
  }
  bool OutIs(int k, std::string_view text) const {
    return k >= 0 && EqualsNoCase(out_[k].text, text);
  }

  void Emit(std::string text, Kind kind) { out_.push_back({std::move(text), kind}); }

  void Translate(size_t i) {
    const Token& t = tokens_[i];
    bool first_word = Significant(t.kind) && !seen_first_;
    if (Significant(t.kind)) seen_first_ = true;
    switch (t.kind) {
      case Kind::kJetString:
        // An unclosed one stays as it is, for SQLite to refuse.
        Emit(IsClosed(t) ? SqlQuote(Unquote(t)) : std::string(t.text), Kind::kString);
        return;
      case Kind::kDate: {
        std::optional<std::string> iso = ParseDateLiteral(t.text.substr(1, t.text.size() - 2));
        if (!iso) ThrowDateError(t.text);
        Emit(SqlQuote(*iso), Kind::kString);
        return;
      }
      case Kind::kPunct:
        // An "&" outside a recognized chain still concatenates, SQLite's way.
        if (t.text == "&") {
          auto it = concat_operators_.find(i);
          Emit(it != concat_operators_.end() ? it->second : "||", t.kind);
          return;
        }
        // Jet's "/" divides as real numbers (5 / 2 is 2.5); SQLite's divides
        // whole numbers as whole numbers. Multiplying the left side by 1.0
        // first keeps the grouping: "*" and "/" bind alike, from the left.
        Emit(t.text == "/" ? std::string(kRealDivision) : std::string(t.text), t.kind);
        return;
      case Kind::kWord:
        TranslateWord(i, first_word);
        return;
      default:
        Emit(std::string(t.text), t.kind);
    }
  }

  void TranslateWord(size_t i, bool first_word) {
    const Token& t = tokens_[i];
    size_t next = NextSig(i);
    bool qualified = OutIs(LastOut(), ".");
    if (first_word && IsWord(i, "SELECT")) SkipTop(next);
    if (first_word && (IsWord(i, "INSERT") || IsWord(i, "UPDATE")) && !IsWord(next, "OR")) {
      // Jet's Execute without dbFailOnError passes over rows it cannot write.
      Emit(std::string(t.text) + " OR IGNORE", Kind::kWord);
      return;
    }
    if (IsWord(i, "DISTINCTROW")) {
      // The statement check lets it stand only over one table, where every
      // row is distinct already.
      return;
    }
    if (first_word && IsWord(i, "DROP") && IsWord(next, "INDEX")) SkipDropIndexTable(NextSig(next));
    if (IsWord(i, "DELETE")) {
      SkipDeleteTarget(next);
    } else if (IsWord(i, "LIKE")) {
      if (TranslateLike(i, next)) return;
    } else if (!qualified && IsPunct(next, "(")) {
      if (IsWord(i, "IsNull") && RewriteIsNull(next)) return;
      auto it = FunctionRenames().find(Lower(t.text));
      if (it != FunctionRenames().end()) {
        Emit(it->second, Kind::kWord);
        return;
      }
    } else if (!qualified && (IsWord(i, "True") || IsWord(i, "False"))) {
      Emit(IsWord(i, "True") ? "-1" : "0", Kind::kNumber);
      return;
    }
    Emit(std::string(t.text), t.kind);
  }

  // SELECT [DISTINCT] TOP n: drops "TOP n" and remembers n for a LIMIT at the end.
  void SkipTop(size_t next) {
    if (IsWord(next, "DISTINCT") || IsWord(next, "DISTINCTROW") || IsWord(next, "ALL")) {
      next = NextSig(next);
    }
    size_t count = NextSig(next);
    if (IsWord(next, "TOP") && count < tokens_.size() && tokens_[count].kind == Kind::kNumber &&
        !IsWord(NextSig(count), "PERCENT")) {
      limit_ = std::string(tokens_[count].text);
      skip_.insert(next);
      skip_.insert(count);
    }
  }

  // Puts " LIMIT n" after the statement, before a closing ";".
  void AppendLimit() {
    int last = LastOut();
    size_t at = OutIs(last, ";") ? static_cast<size_t>(last) : out_.size();
    while (at > 0 && !Significant(out_[at - 1].kind)) --at;
    out_.insert(out_.begin() + at, {" LIMIT " + limit_, Kind::kPunct});
  }

  // --- "&" chains -------------------------------------------------------------
  //
  // Jet's "&" joins the text of its operands, taking Null as "" (the result is
  // Null only when every operand is), and binds more loosely than arithmetic
  // but more tightly than comparisons. SQLite's "||" gives Null for any Null
  // operand and binds most tightly of all. A chain "a & b + 1 & c" therefore
  // becomes jet_concat(a, b + 1, c): the operands are found by walking over
  // the tokens that bind more tightly than "&".

  // True for a token that is (part of) an operand: a name, literal or number.
  bool IsOperandToken(size_t k) const {
    switch (tokens_[k].kind) {
      case Kind::kString:
      case Kind::kJetString:
      case Kind::kBracket:
      case Kind::kBacktick:
      case Kind::kDate:
      case Kind::kNumber:
      case Kind::kParameter:
        return true;
      case Kind::kWord:
        for (std::string_view w : kNonOperandWords) {
          if (EqualsNoCase(tokens_[k].text, w)) return false;
        }
        return true;
      default:
        return false;
    }
  }
  // True for an operator that binds more tightly than "&" (or joins a name).
  bool IsTighterOperator(size_t k) const {
    if (IsWord(k, "MOD")) return true;
    if (tokens_[k].kind != Kind::kPunct) return false;
    for (std::string_view op : {".", "+", "-", "*", "/", "\\", "^"}) {
      if (tokens_[k].text == op) return true;
    }
    return false;
  }
  // The significant token before `i`; tokens_.size() when there is none.
  size_t PrevSig(size_t i) const {
    while (i > 0) {
      if (Significant(tokens_[--i].kind)) return i;
    }
    return tokens_.size();
  }
  // The matching parenthesis of the one at `k`, walking in `step` direction;
  // tokens_.size() when there is none.
  size_t MatchParen(size_t k, int step) const {
    int depth = 0;
    for (size_t x = k; x < tokens_.size(); x += step) {
      if (IsPunct(x, "(")) depth += step;
      if (IsPunct(x, ")")) depth -= step;
      if (depth == 0) return x;
      if (x == 0 && step < 0) break;
    }
    return tokens_.size();
  }
  // The first token of the operand that ends just before the "&" at `amp`;
  // tokens_.size() when there is none.
  size_t OperandBefore(size_t amp) const {
    size_t start = tokens_.size();
    bool have_operand = false;
    for (size_t k = PrevSig(amp); k < tokens_.size(); k = PrevSig(k)) {
      if (IsPunct(k, ")")) {
        k = MatchParen(k, -1);
        if (k == tokens_.size()) return k;
        size_t name = PrevSig(k);
        if (name < tokens_.size() && tokens_[name].kind == Kind::kWord && IsOperandToken(name)) {
          k = name;
        }
        have_operand = true;
      } else if (IsOperandToken(k)) {
        have_operand = true;
      } else if (!IsTighterOperator(k)) {
        break;
      }
      start = k;
    }
    return have_operand ? start : tokens_.size();
  }
  // The last token of the operand that starts just after the "&" at `amp`;
  // tokens_.size() when there is none.
  size_t OperandAfter(size_t amp) const {
    size_t end = tokens_.size();
    bool have_operand = false;
    for (size_t k = NextSig(amp); k < tokens_.size(); k = NextSig(k)) {
      if (IsPunct(k, "(") || (IsOperandToken(k) && IsPunct(NextSig(k), "("))) {
        k = MatchParen(IsPunct(k, "(") ? k : NextSig(k), 1);
        if (k == tokens_.size()) return k;
        have_operand = true;
      } else if (IsOperandToken(k)) {
        have_operand = true;
      } else if (!IsTighterOperator(k)) {
        break;
      }
      end = k;
    }
    return have_operand ? end : tokens_.size();
  }

  void MarkConcatenations() {
    for (size_t i = 0; i < tokens_.size(); ++i) {
      if (!IsPunct(i, "&") || concat_operators_.count(i)) continue;
      size_t first = OperandBefore(i);
      if (first == tokens_.size()) continue;
      std::vector<size_t> amps;
      size_t last = tokens_.size();
      for (size_t amp = i; IsPunct(amp, "&"); amp = NextSig(last)) {
        size_t end = OperandAfter(amp);
        if (end == tokens_.size()) break;
        amps.push_back(amp);
        last = end;
      }
      if (amps.empty()) continue;
      // A long chain becomes nested calls, the inner call the first argument
      // of the next: jet_concat(jet_concat(a1, ..., a100), a101, ...).
      size_t calls = 1, arguments = 1;
      for (size_t amp : amps) {
        if (arguments == kMaxConcatArguments) {
          concat_operators_[amp] = "),";
          ++calls;
          arguments = 2;
        } else {
          concat_operators_[amp] = ",";
          ++arguments;
        }
      }
      for (size_t k = 0; k < calls; ++k) {
        insert_before_[first] += std::string(kJetConcatFunction) + "(";
      }
      append_after_[last] += ")";
    }
  }

  // SELECT ... INTO t FROM ..., Jet's make-table query: SQLite's CREATE TABLE t
  // AS SELECT ... FROM ...
  void MarkSelectInto() {
    size_t first = 0;
    while (first < tokens_.size() && !Significant(tokens_[first].kind)) ++first;
    if (!IsWord(first, "SELECT")) return;
    int depth = 0;
    for (size_t k = first; k < tokens_.size(); ++k) {
      if (IsPunct(k, "(")) ++depth;
      if (IsPunct(k, ")")) --depth;
      if (depth != 0 || !IsWord(k, "INTO")) continue;
      size_t target = NextSig(k);
      if (!IsName(target)) return;
      insert_before_[first] += "CREATE TABLE " + std::string(tokens_[target].text) + " AS ";
      for (size_t x = k; x <= target; ++x) skip_.insert(x);
      return;
    }
  }

  // DROP INDEX i ON t: drops "ON t", since SQLite's index names are unique
  // within the database.
  void SkipDropIndexTable(size_t name) {
    size_t on = NextSig(name);
    if (!IsWord(on, "ON") || !IsName(NextSig(on))) return;
    for (size_t x = name + 1; x <= NextSig(on); ++x) skip_.insert(x);
  }

  // DELETE * FROM and DELETE [t].* FROM: drops what stands between DELETE and FROM.
  void SkipDeleteTarget(size_t next) {
    if (IsPunct(next, "*")) {
      skip_.insert(next);
      return;
    }
    std::vector<size_t> target;
    size_t k = next;
    while (IsName(k) && IsPunct(NextSig(k), ".")) {
      target.push_back(k);
      target.push_back(NextSig(k));
      k = NextSig(NextSig(k));
    }
    if (!target.empty() && IsPunct(k, "*") && IsWord(NextSig(k), "FROM")) {
      target.push_back(k);
      for (size_t x = next; x <= k; ++x) skip_.insert(x);
    }
  }

  // IsNull(x) -> (-((x) IS NULL)): the name becomes "(-(" and the closing
  // parenthesis of the call gets " IS NULL))" behind it. The minus gives
  // Jet's True, -1, so that IsNull(x) = True holds and "&" shows -1.
  bool RewriteIsNull(size_t open) {
    int depth = 0;
    for (size_t k = open; k < tokens_.size(); ++k) {
      if (IsPunct(k, "(")) ++depth;
      if (IsPunct(k, ")") && --depth == 0) {
        // A concatenation ending at the same parenthesis closes after this.
        append_after_[k] = " IS NULL))" + append_after_[k];
        Emit("(-(", Kind::kPunct);
        return true;
      }
    }
    return false;
  }

  // The text matched by the pattern at `pattern_index` when TranslateLike
  // turns the LIKE at `like` into an equality: a literal without wildcards
  // that is the whole operand, after a LIKE without NOT.
  std::optional<std::string> WildcardFreePattern(size_t like, size_t pattern_index) const {
    if (IsWord(PrevSig(like), "NOT") || !EndsOperand(NextSig(pattern_index))) return std::nullopt;
    std::optional<JetPattern> pattern = JetPattern::Compile(Unquote(tokens_[pattern_index]));
    std::optional<std::string> text = pattern ? pattern->LiteralText() : std::nullopt;
    return text && ComparesAsText(*text) ? text : std::nullopt;
  }

  // LIKE with a literal pattern: an equality when it has no wildcard, an
  // index-friendly range in front of the LIKE when it is a fixed prefix and
  // "*". Returns false to leave the LIKE to the engine's Jet like().
  bool TranslateLike(size_t like, size_t pattern_index) {
    if (pattern_index >= tokens_.size()) return false;
    const Token& pt = tokens_[pattern_index];
    if ((pt.kind != Kind::kString && pt.kind != Kind::kJetString) || !IsClosed(pt)) return false;
    // A pattern that goes on (a & '*', a COLLATE ...) is an expression, not a literal.
    if (!EndsOperand(NextSig(pattern_index))) return false;
    std::string pattern_text = Unquote(pt);
    std::optional<JetPattern> pattern = JetPattern::Compile(pattern_text);
    if (!pattern) return false;
    int before = LastOut();
    bool negated = OutIs(before, "NOT");
    // The blanks and comments between LIKE and the pattern keep their place.
    std::string gap;
    for (size_t k = like + 1; k < pattern_index; ++k) gap += tokens_[k].text;
    // The LIKE itself, behind a condition that picks its candidate rows.
    std::string guarded_like = std::string(tokens_[like].text) + gap + SqlQuote(pattern_text) + ")";
    std::optional<std::string> literal = pattern->LiteralText();
    if (literal && ComparesAsText(*literal)) {
      if (negated) out_.resize(before);
      Emit(negated ? "<>" : "=", Kind::kPunct);
      Emit(gap + SqlQuote(*literal) + " COLLATE NOCASE", Kind::kString);
      for (size_t k = like + 1; k <= pattern_index; ++k) skip_.insert(k);
      return true;
    }
    if (negated) return false;
    std::string operand;
    if (literal) {
      // Text that may be a number's: the rows holding it as text or as the
      // number it reads as, found by index either way; the LIKE decides.
      if (!TakeOperand(before, &operand)) return false;
      std::string text = SqlQuote(*literal);
      Emit("(" + operand + " COLLATE NOCASE IN (" + text + ", CAST(" + text + " AS NUMERIC)) AND " +
               operand + " " + guarded_like,
           Kind::kPunct);
      for (size_t k = like + 1; k <= pattern_index; ++k) skip_.insert(k);
      return true;
    }
    std::optional<std::string> prefix = pattern->LiteralPrefix();
    if (!prefix) return false;
    std::string low = Lower(*prefix);
    // Only an ASCII last character can be stepped to the next one in NOCASE
    // order; the range is a superset anyway, the LIKE behind it decides.
    if (static_cast<unsigned char>(low.back()) >= 0x7E) return false;
    std::string high = low;
    high.back() = static_cast<char>(high.back() + 1);
    if (!ComparesAsText(low) || !ComparesAsText(high)) return false;
    if (!TakeOperand(before, &operand)) return false;
    Emit("(" + operand + " >= " + SqlQuote(low) + " COLLATE NOCASE AND " + operand + " < " +
             SqlQuote(high) + " COLLATE NOCASE AND " + operand + " " + guarded_like,
         Kind::kPunct);
    for (size_t k = like + 1; k <= pattern_index; ++k) skip_.insert(k);
    return true;
  }

  // Takes the plain column reference ending at out_[last] (see OperandStart)
  // out of the output into *operand; false, changing nothing, when the left
  // operand of the LIKE is not one.
  bool TakeOperand(int last, std::string* operand) {
    int operand_start = OperandStart(last);
    if (operand_start < 0) return false;
    operand->clear();
    for (size_t k = operand_start; k < out_.size(); ++k) *operand += out_[k].text;
    while (!operand->empty() && std::isspace(static_cast<unsigned char>(operand->back()))) {
      operand->pop_back();
    }
    out_.resize(operand_start);
    return true;
  }

  // True when the token at `k` (or the end) cannot continue the operand before it.
  bool EndsOperand(size_t k) const {
    if (k >= tokens_.size() || IsPunct(k, ")") || IsPunct(k, ";") || IsPunct(k, ",")) return true;
    for (std::string_view w : kOperandFollowerWords) {
      if (IsWord(k, w)) return true;
    }
    return false;
  }

  // The index in out_ where a plain column reference (name or name.name...)
  // ending at `last` starts, when that reference is the whole left operand of
  // the LIKE; -1 otherwise.
  int OperandStart(int last) const {
    auto is_name = [&](int k) {
      if (k < 0) return false;
      Kind kind = out_[k].kind;
      return kind == Kind::kWord || kind == Kind::kBracket || kind == Kind::kBacktick;
    };
    auto prev_sig = [&](int k) {
      for (--k; k >= 0; --k) {
        if (Significant(out_[k].kind)) break;
      }
      return k;
    };
    if (!is_name(last)) return -1;
    int start = last;
    while (OutIs(prev_sig(start), ".") && is_name(prev_sig(prev_sig(start)))) {
      start = prev_sig(prev_sig(start));
    }
    int boundary = prev_sig(start);
    bool ok = boundary < 0 || OutIs(boundary, "(") || OutIs(boundary, ",");
    for (std::string_view w : kOperandBoundaryWords) ok = ok || OutIs(boundary, w);
    return ok ? start : -1;
  }

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

}  // namespace

std::string TranslateJetSql(std::string_view jet) { return Translator(jet).Run(); }

std::optional<LiftedStatement> LiftStringLiterals(std::string_view jet) {
  return Translator(jet).Lift();
}

}  // namespace kestle::db
