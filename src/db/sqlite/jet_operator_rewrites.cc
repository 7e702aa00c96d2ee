// The translator's operator rewrites (jet_translator.h): marks, for each
// expression the expression pass parsed, the text that gives Jet's result.
#include "db/sqlite/jet_translator.h"
#include "db/sqlite/operator_functions.h"

namespace kestle::db::translate {
namespace {

// A truth value as a Jet value: SQLite's 1 becomes -1.
constexpr std::string_view kTruthOpen = "(-(";
constexpr std::string_view kTruthClose = "))";
constexpr std::string_view kNoCase = " COLLATE NOCASE";

}  // namespace

bool Translator::IsTruth(int e) const {
  const Expr& x = exprs_[e];
  switch (x.kind) {
    case ExprKind::kCompare:
    case ExprKind::kTest:
      return true;
    case ExprKind::kParen:
    case ExprKind::kNot:
      return IsTruth(x.kids[0]);
    case ExprKind::kLogic:
      return IsTruth(x.kids[0]) && IsTruth(x.kids[1]);
    default:
      return x.jet_truth;
  }
}

void Translator::Wrap(int e, std::string_view open, std::string_view close) {
  insert_before_[exprs_[e].first] = std::string(open) + insert_before_[exprs_[e].first];
  append_after_[exprs_[e].last] += close;
}

void Translator::MarkCall(int e, const char* function) {
  const Expr& x = exprs_[e];
  insert_before_[x.first] = std::string(function) + "(" + insert_before_[x.first];
  if (x.kids.size() == 1) {
    skip_.insert(x.op);  // a prefix operator: the call takes its place
  } else {
    replace_[x.op] = ",";
  }
  append_after_[x.last] += ")";
}

void Translator::MarkExpr(int e, bool condition) {
  Expr& x = exprs_[e];
  // SQLite's own truth value as a value needs Jet's -1.
  bool sqlite_truth = false;
  switch (x.kind) {
    case ExprKind::kLeaf:
      break;
    case ExprKind::kParen:
      MarkExpr(x.kids[0], condition);
      break;
    case ExprKind::kCompare:
      for (int k : x.kids) MarkExpr(k, false);
      MarkCollation(e);
      sqlite_truth = true;
      break;
    case ExprKind::kTest:
      for (int k : x.kids) MarkExpr(k, false);
      sqlite_truth = true;
      break;
    case ExprKind::kNot:
    case ExprKind::kLogic:
      if (IsTruth(e)) {
        for (int k : x.kids) MarkExpr(k, true);
        sqlite_truth = true;
      } else {
        for (int k : x.kids) MarkExpr(k, false);
        MarkCall(e, x.kind == ExprKind::kNot ? kJetNotFunction : x.function);
      }
      break;
    case ExprKind::kCall:
      for (int k : x.kids) MarkExpr(k, false);
      MarkCall(e, x.function);
      break;
    case ExprKind::kAdd:
      for (int k : x.kids) MarkExpr(k, false);
      if (!x.numeric) MarkCall(e, kJetAddFunction);
      break;
    case ExprKind::kArith:
      for (int k : x.kids) MarkExpr(k, false);
      break;
    case ExprKind::kConcat: {
      for (int k : x.kids) MarkExpr(k, false);
      // A long chain becomes nested calls, the inner call the first argument
      // of the next: jet_concat(jet_concat(a1, ..., a100), a101, ...).
      size_t calls = 1, arguments = 1;
      for (size_t op : x.ops) {
        if (arguments == kMaxConcatArguments) {
          replace_[op] = "),";
          ++calls;
          arguments = 2;
        } else {
          replace_[op] = ",";
          ++arguments;
        }
      }
      std::string open;
      for (size_t k = 0; k < calls; ++k) open += std::string(kJetConcatFunction) + "(";
      Wrap(e, open, ")");
      break;
    }
  }
  if (sqlite_truth && !condition) Wrap(e, kTruthOpen, kTruthClose);
}

void Translator::MarkCollation(int e) {
  const Expr& left = exprs_[exprs_[e].kids[0]];
  const Expr& right = exprs_[exprs_[e].kids[1]];
  if (left.numeric || right.numeric || left.date || right.date) return;
  if (IsWord(Next(right.last), "COLLATE")) return;
  // A column keeps its declared collation, and its index, against another
  // column or an expression; text literals compare without regard to case,
  // except text like a number's, which has no case and may meet a number
  // column, whose index an explicit collation would make useless.
  auto literal = [&](const Expr& x) { return x.text && x.kind == ExprKind::kLeaf; };
  auto caseless = [&](const Expr& x) {
    const Token& t = tokens_[x.first];
    if (t.kind == Kind::kParameter) return false;
    std::string text = Unquote(t);
    return !text.empty() && !ComparesAsText(text);
  };
  if (literal(right) || literal(left)) {
    const Expr& x = literal(right) ? right : left;
    if (!caseless(x)) append_after_[x.last] += kNoCase;
  } else if (!left.column && !right.column) {
    insert_before_[right.first] = "(" + insert_before_[right.first];
    append_after_[right.last] += ")" + std::string(kNoCase);
  }
}

}  // namespace kestle::db::translate
