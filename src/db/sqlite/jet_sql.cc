// The Jet SQL translator (see jet_sql.h).
#include "db/sqlite/jet_sql.h"

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <map>
#include <set>

#include "db/sqlite/jet_functions.h"
#include "db/sqlite/jet_lex.h"
#include "db/sqlite/jet_translator.h"
#include "platform/date.h"
#include "platform/error.h"

namespace kestle::db::translate {

// The internal name of the Jet function a call names (jet_functions.h);
// nothing for a name Jet lacks, which the statement check refuses.
std::optional<std::string> FunctionName(std::string_view jet_name) {
  const JetFunction* f = FindJetFunction(jet_name);
  if (f == nullptr) return std::nullopt;
  // A function SQLite has under Jet's name keeps the spelling as written.
  if (EqualsNoCase(jet_name, f->internal)) return std::string(jet_name);
  return std::string(f->internal);
}

// Every character that can appear in SQLite's text of a number ("-12",
// "1.5e+20", "Inf", either case since LIKE ignores it) or around a number
// that affinity reads from text (blanks).
constexpr std::string_view kNumberTextChars = "0123456789+-.eEiInNfF \t\n\v\f\r";

bool ComparesAsText(std::string_view text) {
  return text.find_first_not_of(kNumberTextChars) != std::string_view::npos;
}

std::optional<LiftedStatement> Translator::Lift() const {
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
    if (!shape.empty() && ascii::IsDigit(shape.back()) && (IsWordChar(first) || first == '.')) {
      shape += ' ';
    }
    if (IsWord(i, "LIKE")) like_at = shape.size();
    bool literal = t.kind == Kind::kString || t.kind == Kind::kJetString;
    if (!literal) {
      shape += t.text;
    } else if (lifted.values.size() == kMaxLiftedLiterals) {
      return std::nullopt;
    } else if (!IsWord(previous, "LIKE")) {
      std::string text = Unquote(t);
      if (text.empty() || ComparesAsText(text)) {
        lifted.values.push_back(std::move(text));
        shape += "?" + std::to_string(lifted.values.size());
      } else {
        // Number-like text compares as it stands, keeping a number
        // column's index (see Translator::MarkCollation).
        shape += t.text;
      }
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

std::string Translator::Run() {
  end_ = tokens_.size();
  MarkOperators();
  MarkSelectInto();
  for (size_t i = 0; i < tokens_.size(); ++i) {
    if (auto it = insert_before_.find(i); it != insert_before_.end()) {
      out_.push_back({it->second, Kind::kPunct});
    }
    if (auto it = replace_.find(i); it != replace_.end()) {
      out_.push_back({it->second, Kind::kPunct});
    } else if (!skip_.count(i)) {
      Translate(i);
    }
    if (auto it = append_after_.find(i); it != append_after_.end()) {
      out_.push_back({it->second, Kind::kPunct});
    }
  }
  if (!limit_.empty()) AppendLimit();
  std::string sql;
  for (const OutToken& t : out_) sql += t.text;
  return sql;
}

bool Translator::IsName(size_t i) const {
  if (i >= tokens_.size()) return false;
  Kind k = tokens_[i].kind;
  return k == Kind::kWord || k == Kind::kBracket || k == Kind::kBacktick;
}

size_t Translator::NextSig(size_t i) const {
  for (++i; i < tokens_.size(); ++i) {
    if (Significant(tokens_[i].kind)) break;
  }
  return i;
}

int Translator::LastOut() const {
  for (int k = static_cast<int>(out_.size()) - 1; k >= 0; --k) {
    if (Significant(out_[k].kind)) return k;
  }
  return -1;
}

void Translator::Translate(size_t i) {
  const Token& t = tokens_[i];
  bool first_word = Significant(t.kind) && !seen_first_;
  if (Significant(t.kind)) seen_first_ = true;
  switch (t.kind) {
    case Kind::kJetString:
      // An unclosed one stays as it is, for SQLite to refuse.
      Emit(IsClosed(t) ? SqlQuote(Unquote(t)) : std::string(t.text), Kind::kString);
      return;
    case Kind::kDate: {
      const std::optional<Date> date = ParseDateText(t.text.substr(1, t.text.size() - 2));
      if (!date) ThrowDateError(t.text);
      Emit(SqlQuote(IsoDateTimeText(*date)), Kind::kString);
      return;
    }
    case Kind::kPunct:
      // An "&" outside a recognized chain still concatenates, SQLite's way.
      if (t.text == "&") {
        Emit("||", t.kind);
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

void Translator::TranslateWord(size_t i, bool first_word) {
  const Token& t = tokens_[i];
  size_t next = NextSig(i);
  bool qualified = OutIs(LastOut(), ".");
  if (first_word && IsWord(i, "SELECT")) {
    query_start_ = out_.size();
    SkipTop(next);
  }
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
    if (std::optional<std::string> name = FunctionName(t.text)) {
      Emit(*name, Kind::kWord);
      return;
    }
  } else if (!qualified && (IsWord(i, "True") || IsWord(i, "False"))) {
    Emit(IsWord(i, "True") ? "-1" : "0", Kind::kNumber);
    return;
  }
  Emit(std::string(t.text), t.kind);
}

void Translator::SkipTop(size_t next) {
  if (IsWord(next, "DISTINCT") || IsWord(next, "DISTINCTROW") || IsWord(next, "ALL")) {
    next = NextSig(next);
  }
  size_t count = NextSig(next);
  if (!IsWord(next, "TOP") || count >= tokens_.size() || tokens_[count].kind != Kind::kNumber) {
    return;
  }
  limit_ = std::string(tokens_[count].text);
  skip_.insert(next);
  skip_.insert(count);
  if (size_t percent = NextSig(count); IsWord(percent, "PERCENT")) {
    percent_ = true;
    skip_.insert(percent);
  }
}

void Translator::AppendLimit() {
  int last = LastOut();
  size_t at = OutIs(last, ";") ? static_cast<size_t>(last) : out_.size();
  while (at > 0 && !Significant(out_[at - 1].kind)) --at;
  std::string limit = " LIMIT " + limit_;
  if (percent_) {
    // The share of the query's own rows, rounded up: the query counts itself.
    std::string query;
    for (size_t k = query_start_; k < at; ++k) query += out_[k].text;
    limit = std::string(kPercentLimitOpen) + limit_ + std::string(kPercentLimitFrom) + query +
            std::string(kPercentLimitClose);
  }
  out_.insert(out_.begin() + at, {limit, Kind::kPunct});
}

}  // namespace kestle::db::translate

namespace kestle::db {

using translate::Translator;

std::string TranslateJetSql(std::string_view jet) { return Translator(jet).Run(); }

std::optional<LiftedStatement> LiftStringLiterals(std::string_view jet) {
  return Translator(jet).Lift();
}

}  // namespace kestle::db
