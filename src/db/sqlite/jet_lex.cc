// The Jet SQL lexer (see jet_lex.h).
#include "db/sqlite/jet_lex.h"

#include "db/jet_errors.h"

#include <array>

#include "platform/error.h"

namespace kestle::db::lex {
namespace {

bool IsWordStart(unsigned char c) { return ascii::IsAlpha(c) || c == '_' || c >= 0x80; }

// The operators of two characters; every other punctuation character is a
// token of its own.
constexpr std::array<std::string_view, 8> kTwoCharOperators = {
    "<>", "<=", ">=", "!=", "==", "||", "<<", ">>"};

// Finds the end of a quoted token starting at `pos` whose closing character is
// `close` and in which a doubled `close` stands for itself. An unterminated
// token runs to the end of the text (SQLite then reports it).
size_t QuotedEnd(std::string_view sql, size_t pos, char close, bool doubling) {
  size_t i = pos + 1;
  while (i < sql.size()) {
    if (sql[i] == close) {
      if (doubling && i + 1 < sql.size() && sql[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return sql.size();
}

}  // namespace

bool IsWordChar(unsigned char c) { return ascii::IsAlnum(c) || c == '_' || c == '$' || c >= 0x80; }

[[noreturn]] void ThrowDateError(std::string_view literal) {
  throw jet::DateSyntaxError(std::string(literal));
}

std::vector<Token> Lex(std::string_view sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < sql.size()) {
    unsigned char c = sql[i];
    size_t end = i + 1;
    Kind kind = Kind::kPunct;
    if (ascii::IsSpace(c)) {
      while (end < sql.size() && ascii::IsSpace(sql[end])) ++end;
      kind = Kind::kSpace;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      end = sql.find('\n', i);
      end = end == std::string_view::npos ? sql.size() : end;
      kind = Kind::kComment;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      end = sql.find("*/", i + 2);
      end = end == std::string_view::npos ? sql.size() : end + 2;
      kind = Kind::kComment;
    } else if (c == '\'') {
      end = QuotedEnd(sql, i, '\'', true);
      kind = Kind::kString;
    } else if (c == '"') {
      end = QuotedEnd(sql, i, '"', true);
      kind = Kind::kJetString;
    } else if (c == '[') {
      end = QuotedEnd(sql, i, ']', false);
      kind = Kind::kBracket;
    } else if (c == '`') {
      end = QuotedEnd(sql, i, '`', true);
      kind = Kind::kBacktick;
    } else if (c == '#') {
      end = sql.find('#', i + 1);
      if (end == std::string_view::npos) ThrowDateError(sql.substr(i));
      ++end;
      kind = Kind::kDate;
    } else if (c == '?' && i + 1 < sql.size() && ascii::IsDigit(sql[i + 1])) {
      while (end < sql.size() && ascii::IsDigit(sql[end])) ++end;
      kind = Kind::kParameter;
    } else if (ascii::IsDigit(c) ||
               (c == '.' && i + 1 < sql.size() && ascii::IsDigit(sql[i + 1]))) {
      while (end < sql.size()) {
        unsigned char d = sql[end];
        bool exponent_sign = (d == '+' || d == '-') && (sql[end - 1] == 'e' || sql[end - 1] == 'E');
        if (!(ascii::IsAlnum(d) || d == '.' || exponent_sign)) break;
        ++end;
      }
      kind = Kind::kNumber;
    } else if (IsWordStart(c)) {
      while (end < sql.size() && IsWordChar(static_cast<unsigned char>(sql[end]))) ++end;
      kind = Kind::kWord;
    } else {
      for (std::string_view op : kTwoCharOperators) {
        if (sql.substr(i, 2) == op) end = i + 2;
      }
    }
    tokens.push_back({kind, sql.substr(i, end - i)});
    i = end;
  }
  return tokens;
}

bool IsClosed(const Token& t) {
  char q = t.text[0];
  for (size_t i = 1; i < t.text.size(); ++i) {
    if (t.text[i] != q) continue;
    if (i + 1 == t.text.size()) return true;
    if (t.text[i + 1] != q) return false;
    ++i;
  }
  return false;
}

std::string Unquote(const Token& t) {
  char q = t.text[0];
  std::string out;
  size_t last = t.text.size() > 1 && t.text.back() == q ? t.text.size() - 1 : t.text.size();
  for (size_t i = 1; i < last; ++i) {
    out.push_back(t.text[i]);
    if (t.text[i] == q && i + 1 < last && t.text[i + 1] == q) ++i;
  }
  return out;
}

}  // namespace kestle::db::lex
