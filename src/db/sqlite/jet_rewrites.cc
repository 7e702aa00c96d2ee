// The translator's rewrites that span several tokens: computed columns'
// names, make-table queries, DROP INDEX and DELETE targets, IsNull and LIKE
// (jet_translator.h).
#include "db/sqlite/jet_translator.h"

#include <algorithm>

namespace kestle::db::translate {

size_t Translator::PrevSig(size_t i) const {
  while (i > 0) {
    if (Significant(tokens_[--i].kind)) return i;
  }
  return tokens_.size();
}

size_t Translator::MatchParen(size_t k, int step) const {
  int depth = 0;
  for (size_t x = k; x < tokens_.size(); x += step) {
    if (IsPunct(x, "(")) depth += step;
    if (IsPunct(x, ")")) depth -= step;
    if (depth == 0) return x;
    if (x == 0 && step < 0) break;
  }
  return tokens_.size();
}

void Translator::MarkSelectInto() {
  size_t first = FirstSig();
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

namespace {

// The names Jet gives computed columns, from the first on; a select list
// with more than these keeps SQLite's names for the rest.
constexpr int kFirstComputedColumn = 1000;
constexpr int kComputedColumnNames = 100;

const std::string& ComputedColumnName(int k) {
  static const std::array<std::string, kComputedColumnNames> names = [] {
    std::array<std::string, kComputedColumnNames> all;
    for (int i = 0; i < kComputedColumnNames; ++i) {
      all[i] = "[Expr" + std::to_string(kFirstComputedColumn + i) + "]";
    }
    return all;
  }();
  return names[k];
}

}  // namespace

void Translator::NameComputedColumns() {
  size_t i = FirstSig();
  if (!IsWord(i, "SELECT")) return;
  i = NextSig(i);
  while (IsWord(i, "DISTINCT") || IsWord(i, "DISTINCTROW") || IsWord(i, "ALL")) i = NextSig(i);
  if (IsWord(i, "TOP")) {
    i = NextSig(NextSig(i));
    if (IsWord(i, "PERCENT")) i = NextSig(i);
  }
  // The select list's items, each the significant tokens up to a comma, FROM
  // or INTO outside parentheses (or the statement's end).
  std::vector<std::pair<size_t, size_t>> unnamed;  // an item's first and last token
  std::vector<size_t> item;
  int depth = 0;
  for (;; i = NextSig(i)) {
    bool ends = i >= tokens_.size() || IsPunct(i, ";") ||
                (depth == 0 && (IsPunct(i, ",") || IsWord(i, "FROM") || IsWord(i, "INTO") ||
                                IsWord(i, "UNION") || IsWord(i, "ORDER")));
    if (!ends) {
      if (IsPunct(i, "(")) ++depth;
      if (IsPunct(i, ")")) --depth;
      item.push_back(i);
      continue;
    }
    size_t n = item.size();
    // A column reference: names joined by dots, or a star (t.*).
    bool reference = n % 2 == 1;
    for (size_t k = 0; k < n && reference; ++k) {
      bool name_place = k % 2 == 0;
      reference = name_place ? IsName(item[k]) || (k + 1 == n && IsPunct(item[k], "*"))
                             : IsPunct(item[k], ".");
    }
    bool aliased = n >= 2 && IsWord(item[n - 2], "AS") && IsName(item[n - 1]);
    if (n > 0 && !reference && !aliased) unnamed.emplace_back(item.front(), item.back());
    item.clear();
    if (!(depth == 0 && IsPunct(i, ","))) break;
  }
  // Inserted from the last, so that the earlier items' places hold.
  static constexpr std::string_view kAs = "AS";
  static constexpr std::string_view kBlank = " ";
  int count = std::min<int>(static_cast<int>(unnamed.size()), kComputedColumnNames);
  for (int k = count - 1; k >= 0; --k) {
    const std::string& name = ComputedColumnName(k);
    Token added[] = {
        {Kind::kSpace, kBlank}, {Kind::kWord, kAs}, {Kind::kSpace, kBlank}, {Kind::kBracket, name}};
    tokens_.insert(tokens_.begin() + unnamed[k].second + 1, std::begin(added), std::end(added));
  }
}

void Translator::SkipDropIndexTable(size_t name) {
  size_t on = NextSig(name);
  if (!IsWord(on, "ON") || !IsName(NextSig(on))) return;
  for (size_t x = name + 1; x <= NextSig(on); ++x) skip_.insert(x);
}

void Translator::SkipDeleteTarget(size_t next) {
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

bool Translator::RewriteIsNull(size_t open) {
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

std::optional<std::string> Translator::WildcardFreePattern(size_t like,
                                                           size_t pattern_index) const {
  if (IsWord(PrevSig(like), "NOT") || !EndsOperand(NextSig(pattern_index))) return std::nullopt;
  std::optional<JetPattern> pattern = JetPattern::Compile(Unquote(tokens_[pattern_index]));
  std::optional<std::string> text = pattern ? pattern->LiteralText() : std::nullopt;
  return text && ComparesAsText(*text) ? text : std::nullopt;
}

bool Translator::TranslateLike(size_t like, size_t pattern_index) {
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

bool Translator::TakeOperand(int last, std::string* operand) {
  int operand_start = OperandStart(last);
  if (operand_start < 0) return false;
  operand->clear();
  for (size_t k = operand_start; k < out_.size(); ++k) *operand += out_[k].text;
  while (!operand->empty() && ascii::IsSpace(operand->back())) {
    operand->pop_back();
  }
  out_.resize(operand_start);
  return true;
}

bool Translator::EndsOperand(size_t k) const {
  if (k >= tokens_.size() || IsPunct(k, ")") || IsPunct(k, ";") || IsPunct(k, ",")) return true;
  for (std::string_view w : kOperandFollowerWords) {
    if (IsWord(k, w)) return true;
  }
  return false;
}

int Translator::OperandStart(int last) const {
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

}  // namespace kestle::db::translate
