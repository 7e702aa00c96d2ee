// The tokens of Jet SQL text, shared by the statement check and the translator.
//
// Lex splits text into tokens whose texts put together give the text back
// unchanged, so that a rewriting pass can copy what it does not change.
#ifndef KESTLE_DB_SQLITE_JET_LEX_H_
#define KESTLE_DB_SQLITE_JET_LEX_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii.h"

namespace kestle::db::lex {

enum class Kind {
  kSpace,
  kComment,
  kString,     // 'text'
  kJetString,  // "text"
  kBracket,    // [name]
  kBacktick,   // `name`
  kDate,       // #date#
  kNumber,
  kWord,
  kParameter,  // ?NNN, SQLite's numbered parameter (a lifted literal)
  kPunct,
};

struct Token {
  Kind kind;
  std::string_view text;
};

// Splits SQL text into tokens. Throws Jet's date syntax error (3075) for a
// "#" without its closing "#".
std::vector<Token> Lex(std::string_view sql);

// Throws Jet's date syntax error for the literal `literal`.
[[noreturn]] void ThrowDateError(std::string_view literal);

bool IsWordChar(unsigned char c);
// True for blanks and comments.
inline bool Significant(Kind k) { return k != Kind::kSpace && k != Kind::kComment; }
// True when the quoted token `t` ends with its closing quote character (a
// doubled one stands for itself and closes nothing).
bool IsClosed(const Token& t);
// The content of a quoted token, its doubled quote characters undone.
std::string Unquote(const Token& t);
// Keywords and names compare without regard to the case of ASCII letters.
using ascii::EqualsNoCase;
using ascii::FoldLower;
using ascii::FoldUpper;

}  // namespace kestle::db::lex

#endif  // KESTLE_DB_SQLITE_JET_LEX_H_
