// The statement check (see jet_check.h).
#include "db/sqlite/jet_check.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "db/jet_errors.h"
#include "db/sqlite/jet_functions.h"
#include "db/sqlite/jet_lex.h"

namespace kestle::db {
namespace {

using lex::EqualsNoCase;
using lex::Kind;
using lex::Token;

enum class Form {
  kSelect,
  kInsert,
  kUpdate,
  kDelete,
  kCreateTable,
  kCreateIndex,
  kAlterTable,
  kDrop,
};

// Jet's syntax error for a malformed statement of each form.
int SyntaxError(Form form) {
  switch (form) {
    case Form::kSelect:
      return jet::kSelectSyntax;
    case Form::kInsert:
      return jet::kInsertSyntax;
    case Form::kUpdate:
      return jet::kUpdateSyntax;
    case Form::kDelete:
      return jet::kFromClauseSyntax;
    case Form::kCreateTable:
      return jet::kCreateTableSyntax;
    case Form::kCreateIndex:
      return jet::kCreateIndexSyntax;
    case Form::kAlterTable:
      return jet::kAlterTableSyntax;
    case Form::kDrop:
      return jet::kDropSyntax;
  }
  return jet::kInvalidStatement;
}

// Words that may stand right before "(" in a query without naming a function.
constexpr std::array<std::string_view, 29> kWordsBeforeParenthesis = {
    "VALUES",   "ALL",         "AND",   "ANY",    "AS",   "BETWEEN", "BY",     "CASE",
    "DISTINCT", "DISTINCTROW", "ELSE",  "EXISTS", "FROM", "HAVING",  "IN",     "IS",
    "JOIN",     "LIKE",        "MOD",   "NOT",    "ON",   "OR",      "SELECT", "SET",
    "SOME",     "THEN",        "UNION", "WHEN",   "WHERE"};

// Words that only SQLite's dialect has, refused in every statement.
constexpr std::array<std::string_view, 4> kSqliteOnlyWords = {"RETURNING", "INTERSECT", "EXCEPT",
                                                              "RECURSIVE"};

// Name prefixes of SQLite's own tables and table-valued functions.
constexpr std::array<std::string_view, 2> kSqliteNamePrefixes = {"sqlite_", "pragma_"};

// Words of column definitions that Jet's DDL lacks (default values, checks,
// generated columns, CREATE TABLE ... AS SELECT).
constexpr std::array<std::string_view, 4> kForeignDefinitionWords = {"AS", "CHECK", "DEFAULT",
                                                                     "GENERATED"};

template <size_t N>
bool OneOf(std::string_view word, const std::array<std::string_view, N>& words) {
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view w) { return EqualsNoCase(word, w); });
}

[[noreturn]] void Refuse(int number, const std::string& argument = "") {
  throw jet::Error(number, argument);
}

// The significant tokens of one statement, with the checks that walk them.
class StatementCheck {
 public:
  explicit StatementCheck(std::string_view jet) {
    for (const Token& t : lex::Lex(jet)) {
      if (lex::Significant(t.kind)) t_.push_back(t);
    }
  }

  void Run() {
    // The first word decides the form; a query in parentheses (a UNION's
    // first part), which the translation does not handle, is refused too.
    const size_t verb = 0;
    form_ = LeadingForm(verb);
    for (size_t k = 0; k < t_.size(); ++k) {
      if (!IsPunct(k, ";")) continue;
      if (k + 1 < t_.size()) Refuse(jet::kExtraCharacters);
      t_.resize(k);
    }
    int error = SyntaxError(form_);
    bool query = form_ == Form::kSelect || form_ == Form::kInsert || form_ == Form::kUpdate ||
                 form_ == Form::kDelete;
    if (form_ == Form::kInsert) CheckInsert(verb);
    if (form_ == Form::kUpdate && IsWord(verb + 1, "OR")) Refuse(error);
    if (form_ == Form::kAlterTable &&
        !(IsWord(verb + 3, "ADD") || IsWord(verb + 3, "DROP") || IsWord(verb + 3, "ALTER"))) {
      Refuse(error);
    }
    if (form_ == Form::kSelect && Has("DISTINCTROW") && (Has("JOIN") || HasTableList())) {
      Refuse(error);
    }
    int depth = 0;
    for (size_t k = 0; k < t_.size(); ++k) {
      const Token& t = t_[k];
      if (IsPunct(k, "(")) ++depth;
      if (IsPunct(k, ")")) --depth;
      if (IsName(k) && OneOf(NameText(k).substr(0, 7), kSqliteNamePrefixes)) {
        Refuse(jet::kTableNotFound, NameText(k));
      }
      if (t.kind != Kind::kWord) {
        if (query && IsName(k) && IsPunct(k + 1, "(") && k != insert_target_) {
          Refuse(jet::kUndefinedFunction, NameText(k));
        }
        continue;
      }
      if (OneOf(t.text, kSqliteOnlyWords) || (IsWord(k, "ON") && IsWord(k + 1, "CONFLICT"))) {
        Refuse(error);
      }
      if (query) {
        // Jet's WITH OWNERACCESS OPTION aside, WITH starts a common table expression.
        if (IsWord(k, "WITH") || (IsWord(k, "VALUES") && k != values_)) Refuse(error);
        if (IsPunct(k + 1, "(") && k != insert_target_ && !OneOf(t.text, kWordsBeforeParenthesis)) {
          CheckCall(k);
        }
      } else if (form_ == Form::kCreateTable || form_ == Form::kAlterTable) {
        if (OneOf(t.text, kForeignDefinitionWords)) Refuse(jet::kFieldDefinitionSyntax);
      } else if (form_ == Form::kCreateIndex) {
        // Neither a partial index nor one on expressions.
        if (IsWord(k, "WHERE") || depth > 1) Refuse(error);
      }
    }
  }

 private:
  bool IsWord(size_t k, std::string_view w) const {
    return k < t_.size() && t_[k].kind == Kind::kWord && EqualsNoCase(t_[k].text, w);
  }
  bool IsPunct(size_t k, std::string_view p) const {
    return k < t_.size() && t_[k].kind == Kind::kPunct && t_[k].text == p;
  }
  bool IsName(size_t k) const {
    if (k >= t_.size()) return false;
    Kind kind = t_[k].kind;
    return kind == Kind::kWord || kind == Kind::kBracket || kind == Kind::kBacktick;
  }
  // A name's text, brackets or backticks removed.
  std::string NameText(size_t k) const {
    const Token& t = t_[k];
    if (t.kind == Kind::kWord) return std::string(t.text);
    std::string_view inner = t.text.substr(1);
    if (!inner.empty() && (inner.back() == ']' || inner.back() == '`')) inner.remove_suffix(1);
    return std::string(inner);
  }
  bool Has(std::string_view word) const {
    for (size_t k = 0; k < t_.size(); ++k) {
      if (IsWord(k, word)) return true;
    }
    return false;
  }
  // True when a FROM clause lists more than one table (a "," after FROM
  // before the clause ends).
  bool HasTableList() const {
    static constexpr std::array<std::string_view, 6> kClauseEnds = {"WHERE", "GROUP", "HAVING",
                                                                    "ORDER", "UNION", "INTO"};
    for (size_t k = 0; k < t_.size(); ++k) {
      if (!IsWord(k, "FROM")) continue;
      int depth = 0;
      for (size_t x = k + 1; x < t_.size() && depth >= 0; ++x) {
        if (IsPunct(x, "(")) ++depth;
        if (IsPunct(x, ")")) --depth;
        if (depth == 0 && t_[x].kind == Kind::kWord && OneOf(t_[x].text, kClauseEnds)) break;
        if (depth == 0 && IsPunct(x, ",")) return true;
      }
    }
    return false;
  }
  // The index of the ")" matching the "(" at `open`; t_.size() when none.
  size_t Closing(size_t open) const {
    int depth = 0;
    for (size_t k = open; k < t_.size(); ++k) {
      if (IsPunct(k, "(")) ++depth;
      if (IsPunct(k, ")") && --depth == 0) return k;
    }
    return t_.size();
  }

  // Refuses the call of the function named at `k` unless Jet has the
  // function and it takes as many arguments as the call passes.
  void CheckCall(size_t k) const {
    const JetFunction* f = FindJetFunction(t_[k].text);
    if (f == nullptr) Refuse(jet::kUndefinedFunction, std::string(t_[k].text));
    size_t close = Closing(k + 1);
    int arguments = 0;
    int depth = 0;
    for (size_t x = k + 1; x < close; ++x) {
      if (IsPunct(x, "(")) ++depth;
      if (IsPunct(x, ")")) --depth;
      if (depth == 1 && arguments == 0) arguments = 1;
      if (depth == 1 && IsPunct(x, ",")) ++arguments;
    }
    if (close == k + 2) arguments = 0;  // "()"
    if (!AcceptsArguments(*f, arguments)) {
      const Token& last = t_[std::min(close, t_.size() - 1)];
      const char* begin = t_[k].text.data();
      throw jet::ArgumentCountError(
          std::string(begin, last.text.data() + last.text.size() - begin));
    }
  }

  // The statement's form by its leading words; refuses every other.
  Form LeadingForm(size_t verb) const {
    if (IsWord(verb, "SELECT")) return Form::kSelect;
    if (IsWord(verb, "INSERT")) return Form::kInsert;
    if (IsWord(verb, "UPDATE")) return Form::kUpdate;
    if (IsWord(verb, "DELETE")) return Form::kDelete;
    if (IsWord(verb, "CREATE")) {
      if (IsWord(verb + 1, "TABLE")) return Form::kCreateTable;
      if (IsWord(verb + 1, "INDEX") || (IsWord(verb + 1, "UNIQUE") && IsWord(verb + 2, "INDEX"))) {
        return Form::kCreateIndex;
      }
      Refuse(jet::kCreateTableSyntax);
    }
    if (IsWord(verb, "ALTER")) {
      if (IsWord(verb + 1, "TABLE")) return Form::kAlterTable;
      Refuse(jet::kAlterTableSyntax);
    }
    if (IsWord(verb, "DROP")) {
      if ((IsWord(verb + 1, "TABLE") || IsWord(verb + 1, "INDEX")) && !IsWord(verb + 2, "IF")) {
        return Form::kDrop;
      }
      Refuse(jet::kDropSyntax);
    }
    Refuse(jet::kInvalidStatement);
  }

  // INSERT INTO t [(columns)] followed by VALUES and one parenthesized row
  // that ends the statement, or by a query.
  void CheckInsert(size_t verb) {
    size_t k = verb + 1;
    if (!IsWord(k, "INTO") || !IsName(k + 1)) Refuse(jet::kInsertSyntax);
    insert_target_ = k + 1;
    k += 2;
    if (IsPunct(k, "(") && !IsWord(k + 1, "SELECT")) k = Closing(k) + 1;
    if (IsWord(k, "VALUES")) {
      values_ = k;
      if (!IsPunct(k + 1, "(") || Closing(k + 1) + 1 != t_.size()) Refuse(jet::kInsertSyntax);
      return;
    }
    size_t query = k;
    while (IsPunct(query, "(")) ++query;
    if (!IsWord(query, "SELECT")) Refuse(jet::kInsertSyntax);
  }

  std::vector<Token> t_;
  Form form_ = Form::kSelect;
  // The target table and the VALUES word of an INSERT.
  size_t insert_target_ = static_cast<size_t>(-1);
  size_t values_ = static_cast<size_t>(-1);
};

}  // namespace

void CheckJetStatement(std::string_view jet) { StatementCheck(jet).Run(); }

void CheckJetTableName(std::string_view name) {
  if (OneOf(name.substr(0, 7), kSqliteNamePrefixes)) Refuse(jet::kTableNotFound, std::string(name));
}

}  // namespace kestle::db
