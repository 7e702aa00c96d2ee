// The translator's expression pass (jet_translator.h): parses the
// expressions of a query or data statement by Jet's operator precedence;
// jet_operator_rewrites.cc marks the rewrites that give Jet's results,
// leaving the tokens in order.
//
// Where only truth counts (WHERE, ON, HAVING, WHEN, the condition of IIf), a
// comparison and AND, OR and NOT over truth values stay SQLite's own, so that
// indexes still serve them. Where the value counts, a truth value becomes
// Jet's -1/0, and AND, OR, NOT over other values, XOR, EQV, IMP, "\", Mod,
// "^", "&" and "+" of operands that may be text call the engine's operator
// functions.
#include "db/sqlite/jet_translator.h"
#include "db/sqlite/operator_functions.h"

namespace kestle::db::translate {
namespace {

// Binary word operators by level, loosest first (levels 0 to 4).
constexpr std::array<std::string_view, 5> kLogicalWords = {"IMP", "EQV", "XOR", "OR", "AND"};
constexpr std::array<const char*, 5> kLogicalFunctions = {
    kJetImpFunction, kJetEqvFunction, kJetXorFunction, kJetOrFunction, kJetAndFunction};

// The comparison operators that take a text collation.
constexpr std::array<std::string_view, 7> kComparisons = {"=", "<>", "<", ">", "<=", ">=", "!="};

// Words that end an operand and never start one.
constexpr std::array<std::string_view, 26> kClauseWords = {
    "XOR",         "EQV",    "IMP",        "TOP",     "PERCENT",   "DISTINCTROW", "ALL",
    "ASC",         "DESC",   "LIMIT",      "INNER",   "OUTER",     "JOIN",        "EXCEPT",
    "INTERSECT",   "DELETE", "INSERT",     "UPDATE",  "TRANSFORM", "PIVOT",       "WITH",
    "OWNERACCESS", "OPTION", "PARAMETERS", "COLLATE", "NULLS"};

// Words whose following expression is a condition.
constexpr std::array<std::string_view, 4> kConditionWords = {"WHERE", "ON", "HAVING", "WHEN"};

// Expression levels, loosest first.
enum Level {
  kNotLevel = 5,
  kCompareLevel,
  kConcatLevel,
  kAddLevel,
  kModLevel,
  kIntDivLevel,
  kMulLevel,
  kNegLevel,
  kPowLevel
};

template <size_t N>
bool OneOf(std::string_view word, const std::array<std::string_view, N>& words) {
  for (std::string_view w : words) {
    if (EqualsNoCase(word, w)) return true;
  }
  return false;
}

}  // namespace

size_t Translator::Next(size_t i) const {
  size_t n = NextSig(i);
  return n < end_ ? n : tokens_.size();
}

bool Translator::IsKeyword(size_t i) const {
  return tokens_[i].kind == Kind::kWord &&
         (OneOf(tokens_[i].text, kNonOperandWords) || OneOf(tokens_[i].text, kClauseWords));
}

void Translator::MarkOperators() {
  size_t first = FirstSig();
  for (std::string_view w : {"SELECT", "INSERT", "UPDATE", "DELETE"}) {
    if (IsWord(first, w)) return MarkRange(first, tokens_.size(), false);
  }
}

void Translator::MarkRange(size_t begin, size_t end, bool condition_first) {
  size_t saved_end = end_;
  end_ = end;
  bool in_set = false;
  size_t i = begin;
  if (i < end && !Significant(tokens_[i].kind)) i = Next(i);
  while (i < end) {
    size_t prev = PrevSig(i);
    bool at_start = prev == tokens_.size() || prev < begin;
    if (IsWord(i, "SET")) in_set = true;
    if (IsWord(i, "WHERE")) in_set = false;
    bool assigned = false;
    if (in_set && (IsWord(prev, "SET") || IsPunct(prev, ","))) {
      // UPDATE's "column =" is an assignment, not a comparison.
      size_t k = i;
      while (IsName(k) && IsPunct(Next(k), ".") && IsName(Next(Next(k)))) k = Next(Next(k));
      if (IsName(k) && IsPunct(Next(k), "=")) {
        i = Next(Next(k));
        assigned = true;
      }
    }
    // An expression starts after a keyword, "(" or ","; after anything else
    // (an operator Jet does not have) the tokens pass as they are.
    bool boundary = assigned || at_start || IsPunct(prev, "(") || IsPunct(prev, ",") ||
                    IsKeyword(prev) || IsWord(PrevSig(prev), "TOP");
    if (!boundary) {
      i = Next(i);
      continue;
    }
    bool condition = !assigned && (at_start ? condition_first
                                            : tokens_[prev].kind == Kind::kWord &&
                                                  OneOf(tokens_[prev].text, kConditionWords));
    int e = ParseLevel(i, 0);
    if (e < 0) {
      i = Next(i);
      continue;
    }
    MarkExpr(e, condition);
    i = Next(exprs_[e].last);
  }
  end_ = saved_end;
}

int Translator::NewExpr(ExprKind kind, size_t first, size_t last, std::vector<int> kids,
                        size_t op) {
  Expr e;
  e.kind = kind;
  e.first = first;
  e.last = last;
  e.op = op;
  e.kids = std::move(kids);
  switch (kind) {
    case ExprKind::kAdd:
      e.numeric = exprs_[e.kids[0]].numeric && exprs_[e.kids[1]].numeric;
      break;
    case ExprKind::kConcat:
      e.text = true;
      break;
    case ExprKind::kParen:
      e.numeric = exprs_[e.kids[0]].numeric;
      e.text = exprs_[e.kids[0]].text;
      e.date = exprs_[e.kids[0]].date;
      break;
    case ExprKind::kLeaf:
      break;
    default:  // arithmetic and truth values
      e.numeric = true;
  }
  exprs_.push_back(std::move(e));
  return static_cast<int>(exprs_.size()) - 1;
}

int Translator::ParseLevel(size_t i, int level) {
  if (i >= end_) return -1;
  if (level < kNotLevel) {
    int left = ParseLevel(i, level + 1);
    while (left >= 0) {
      size_t op = Next(exprs_[left].last);
      if (!IsWord(op, kLogicalWords[level])) break;
      int right = ParseLevel(Next(op), level + 1);
      if (right < 0) break;
      int e = NewExpr(level >= 3 ? ExprKind::kLogic : ExprKind::kCall, exprs_[left].first,
                      exprs_[right].last, {left, right}, op);
      exprs_[e].function = kLogicalFunctions[level];
      left = e;
    }
    return left;
  }
  switch (level) {
    case kNotLevel:
      if (IsWord(i, "NOT")) {
        int x = ParseLevel(Next(i), kNotLevel);
        return x < 0 ? -1 : NewExpr(ExprKind::kNot, i, exprs_[x].last, {x}, i);
      }
      return ParseLevel(i, kCompareLevel);
    case kCompareLevel:
      return ParseComparison(i);
    case kConcatLevel: {
      int left = ParseLevel(i, kAddLevel);
      if (left < 0) return -1;
      std::vector<int> operands = {left};
      std::vector<size_t> ops;
      for (size_t op = Next(exprs_[left].last); IsPunct(op, "&");
           op = Next(exprs_[operands.back()].last)) {
        int right = ParseLevel(Next(op), kAddLevel);
        if (right < 0) break;
        operands.push_back(right);
        ops.push_back(op);
      }
      if (operands.size() == 1) return left;
      int e = NewExpr(ExprKind::kConcat, i, exprs_[operands.back()].last, operands, ops[0]);
      exprs_[e].ops = ops;
      return e;
    }
    case kNegLevel:
      if (IsPunct(i, "-") || IsPunct(i, "+")) {
        int x = ParseLevel(Next(i), kNegLevel);
        return x < 0 ? -1 : NewExpr(ExprKind::kArith, i, exprs_[x].last, {x}, i);
      }
      return ParseLevel(i, kPowLevel);
    case kPowLevel: {
      int left = ParsePrimary(i);
      while (left >= 0) {
        size_t op = Next(exprs_[left].last);
        if (!IsPunct(op, "^")) break;
        size_t k = Next(op);
        int right = IsPunct(k, "-") ? ParseLevel(k, kNegLevel) : ParsePrimary(k);
        if (right < 0) break;
        left = NewExpr(ExprKind::kCall, exprs_[left].first, exprs_[right].last, {left, right}, op);
        exprs_[left].function = kJetPowFunction;
      }
      return left;
    }
    default:
      break;
  }
  // The arithmetic levels: "+" "-", Mod, "\", "*" "/".
  int left = ParseLevel(i, level + 1);
  while (left >= 0) {
    size_t op = Next(exprs_[left].last);
    bool add = level == kAddLevel && IsPunct(op, "+");
    bool plain = (level == kAddLevel && IsPunct(op, "-")) ||
                 (level == kMulLevel && (IsPunct(op, "*") || IsPunct(op, "/")));
    bool call =
        (level == kModLevel && IsWord(op, "MOD")) || (level == kIntDivLevel && IsPunct(op, "\\"));
    if (!add && !plain && !call) break;
    int right = ParseLevel(Next(op), level + 1);
    if (right < 0) break;
    ExprKind kind = add ? ExprKind::kAdd : plain ? ExprKind::kArith : ExprKind::kCall;
    left = NewExpr(kind, exprs_[left].first, exprs_[right].last, {left, right}, op);
    if (call) exprs_[left].function = level == kModLevel ? kJetModFunction : kJetIntDivFunction;
  }
  return left;
}

int Translator::ParseComparison(size_t i) {
  int left = ParseLevel(i, kConcatLevel);
  while (left >= 0) {
    size_t op = Next(exprs_[left].last);
    size_t word = IsWord(op, "NOT") ? Next(op) : op;
    int e = -1;
    if (op < tokens_.size() && tokens_[op].kind == Kind::kPunct &&
        OneOf(tokens_[op].text, kComparisons)) {
      int right = ParseLevel(Next(op), kConcatLevel);
      if (right >= 0)
        e = NewExpr(ExprKind::kCompare, exprs_[left].first, exprs_[right].last, {left, right}, op);
    } else if (IsWord(word, "LIKE")) {
      int right = ParseLevel(Next(word), kConcatLevel);
      if (right >= 0)
        e = NewExpr(ExprKind::kTest, exprs_[left].first, exprs_[right].last, {left, right}, op);
    } else if (IsWord(op, "IS")) {
      size_t k = IsWord(Next(op), "NOT") ? Next(Next(op)) : Next(op);
      if (IsWord(k, "NULL")) e = NewExpr(ExprKind::kTest, exprs_[left].first, k, {left}, op);
    } else if (IsWord(word, "BETWEEN")) {
      int low = ParseLevel(Next(word), kConcatLevel);
      size_t and_op = low >= 0 ? Next(exprs_[low].last) : tokens_.size();
      int high = IsWord(and_op, "AND") ? ParseLevel(Next(and_op), kConcatLevel) : -1;
      if (high >= 0)
        e = NewExpr(ExprKind::kTest, exprs_[left].first, exprs_[high].last, {left, low, high}, op);
    } else if (IsWord(word, "IN") && IsPunct(Next(word), "(")) {
      size_t open = Next(word);
      size_t close = MatchParen(open, 1);
      if (close < end_) {
        MarkRange(open + 1, close, false);
        e = NewExpr(ExprKind::kTest, exprs_[left].first, close, {left}, op);
      }
    }
    if (e < 0) break;
    left = e;
  }
  return left;
}

int Translator::ParsePrimary(size_t i) {
  if (i >= end_) return -1;
  const Token& t = tokens_[i];
  switch (t.kind) {
    case Kind::kNumber: {
      int e = NewExpr(ExprKind::kLeaf, i, i, {}, i);
      exprs_[e].numeric = true;
      return e;
    }
    case Kind::kDate: {
      int e = NewExpr(ExprKind::kLeaf, i, i, {}, i);
      exprs_[e].date = true;
      return e;
    }
    case Kind::kString:
    case Kind::kJetString:
      if (!IsClosed(t)) return -1;  // left for SQLite to refuse
      [[fallthrough]];
    case Kind::kParameter: {
      int e = NewExpr(ExprKind::kLeaf, i, i, {}, i);
      exprs_[e].text = true;
      return e;
    }
    case Kind::kPunct:
      return IsPunct(i, "(") ? ParseParenthesis(i) : -1;
    case Kind::kWord:
    case Kind::kBracket:
    case Kind::kBacktick:
      break;
    default:
      return -1;
  }
  if (IsWord(i, "TRUE") || IsWord(i, "FALSE")) {
    int e = NewExpr(ExprKind::kLeaf, i, i, {}, i);
    exprs_[e].numeric = exprs_[e].jet_truth = true;
    return e;
  }
  if (IsWord(i, "NULL")) return NewExpr(ExprKind::kLeaf, i, i, {}, i);
  if (IsWord(i, "EXISTS") && IsPunct(Next(i), "(")) {
    int e = ParsePrimary(Next(i));
    if (e < 0) return -1;
    return NewExpr(ExprKind::kTest, i, exprs_[e].last, {}, i);
  }
  if (IsKeyword(i)) return -1;
  if (t.kind == Kind::kWord && IsPunct(Next(i), "(")) {
    size_t open = Next(i);
    size_t close = MatchParen(open, 1);
    if (close >= end_) return -1;
    MarkRange(open + 1, close, IsWord(i, "IIf"));
    int e = NewExpr(ExprKind::kLeaf, i, close, {}, i);
    exprs_[e].jet_truth = IsWord(i, "IsNull");
    return e;
  }
  size_t last = i;
  while (IsPunct(Next(last), ".") && IsName(Next(Next(last)))) last = Next(Next(last));
  int e = NewExpr(ExprKind::kLeaf, i, last, {}, i);
  exprs_[e].column = true;
  return e;
}

int Translator::ParseParenthesis(size_t open) {
  size_t close = MatchParen(open, 1);
  if (close >= end_) return -1;
  size_t inner_first = Next(open);
  if (IsWord(inner_first, "SELECT")) {
    MarkRange(open + 1, close, false);
    return NewExpr(ExprKind::kLeaf, open, close, {}, open);
  }
  size_t saved_end = end_;
  end_ = close;
  int inner = ParseLevel(inner_first, 0);
  end_ = saved_end;
  if (inner >= 0 && NextSig(exprs_[inner].last) == close) {
    return NewExpr(ExprKind::kParen, open, close, {inner}, open);
  }
  // A list or something else: its expressions are values of their own.
  if (inner >= 0) {
    MarkExpr(inner, false);
    MarkRange(NextSig(exprs_[inner].last), close, false);
  } else {
    MarkRange(open + 1, close, false);
  }
  return NewExpr(ExprKind::kLeaf, open, close, {}, open);
}

}  // namespace kestle::db::translate
