// SQLite's result codes and messages mapped to DAO's numbers and texts.
#include "db/sqlite/sqlite_errors.h"

#include <sqlite3.h>

#include <string_view>

#include "db/jet_errors.h"
#include "platform/ascii.h"

namespace kestle::db {
namespace {

// Run-time error numbers of the engine's SQL functions, by their text.
struct FunctionFailure {
  const char* text;
  int number;
};
constexpr int kTypeMismatchNumber = 13;
constexpr int kInvalidPatternNumber = 93;
constexpr int kDivisionByZeroNumber = 11;
constexpr FunctionFailure kFunctionFailures[] = {
    {kInvalidPatternText, kInvalidPatternNumber},
    {kInvalidArgumentText, err::kInvalidProcedureCall},
    {kInvalidUseOfNullText, err::kInvalidUseOfNull},
    {kTypeMismatchText, kTypeMismatchNumber},
    {kOverflowText, err::kOverflow},
    {kDivisionByZeroText, kDivisionByZeroNumber},
};

// What goes in the place of a DAO text's argument.
enum class Argument {
  kNone,
  kName,   // the name after the message's prefix, without a schema
  kToken,  // the quoted token of a syntax error
  kOne,    // "1": Jet takes an unknown name for one missing parameter
};

// SQLite's messages for SQLITE_ERROR, by their start. A number of 0 stands
// for the syntax error of the statement's kind (SyntaxErrorOf).
struct MessageRule {
  const char* prefix;
  int number;
  Argument argument;
};
constexpr const char* kNoSuchTable = "no such table: ";
constexpr MessageRule kMessageRules[] = {
    {kNoSuchTable, jet::kTableNotFound, Argument::kName},
    {"no such column: ", jet::kTooFewParameters, Argument::kOne},
    {"no such function: ", jet::kUndefinedFunction, Argument::kName},
    {"ambiguous column name: ", jet::kAmbiguousField, Argument::kName},
    {"near \"", 0, Argument::kToken},
    {"unrecognized token: ", 0, Argument::kToken},
    {"incomplete input", 0, Argument::kNone},
    {kPatternTooLongText, jet::kQueryTooComplex, Argument::kNone},
};
// "table NAME already exists" and "table NAME has no column named FIELD".
constexpr std::string_view kTablePrefix = "table ";
constexpr std::string_view kAlreadyExists = " already exists";
constexpr std::string_view kNoColumnNamed = " has no column named ";
// "NOT NULL constraint failed: TABLE.FIELD".
constexpr std::string_view kNotNullPrefix = "NOT NULL constraint failed: ";
// Introduces SQLite's own message in an error's detail.
constexpr const char* kSqliteSaid = "SQLite error: ";
// Schemas SQLite puts before a table's name in its messages.
constexpr std::string_view kSchemaPrefixes[] = {"main.", "temp.", "kestle_be"};

// Jet's syntax-error number for a statement, by its first words.
struct SyntaxRule {
  const char* words;
  int number;
};
constexpr SyntaxRule kSyntaxRules[] = {
    {"SELECT", jet::kMissingOperator},
    {"DELETE", jet::kMissingOperator},
    {"INSERT", jet::kInsertSyntax},
    {"UPDATE", jet::kUpdateSyntax},
    {"CREATE TABLE", jet::kCreateTableSyntax},
    {"CREATE INDEX", jet::kCreateIndexSyntax},
    {"CREATE UNIQUE", jet::kCreateIndexSyntax},
    {"ALTER", jet::kAlterTableSyntax},
    {"DROP", jet::kDropSyntax},
};

// The first two words of a statement in upper case, one blank between them.
std::string LeadingWords(const std::string& statement) {
  std::string words;
  size_t i = 0;
  for (int n = 0; n < 2; ++n) {
    while (i < statement.size() && (ascii::IsSpace(statement[i]) || statement[i] == '(')) {
      ++i;
    }
    if (n > 0) words += ' ';
    while (i < statement.size() && ascii::IsAlpha(statement[i])) {
      words += ascii::FoldUpper(statement[i++]);
    }
  }
  return words;
}

int SyntaxErrorOf(const std::string& statement) {
  std::string words = LeadingWords(statement) + " ";
  for (const SyntaxRule& rule : kSyntaxRules) {
    if (words.starts_with(std::string(rule.words) + " ")) return rule.number;
  }
  return jet::kInvalidStatement;
}

// A table name from a message, without the schema SQLite may put before it.
std::string WithoutSchema(std::string name) {
  for (std::string_view prefix : kSchemaPrefixes) {
    if (!name.starts_with(prefix)) continue;
    size_t dot = name.find('.');
    if (dot != std::string::npos) return name.substr(dot + 1);
  }
  return name;
}

// The token of "near "TOKEN": syntax error" or "unrecognized token: "TOKEN"".
std::string QuotedToken(std::string_view rest) {
  if (rest.starts_with('"')) rest.remove_prefix(1);
  size_t end = rest.rfind('"');
  return std::string(end == std::string_view::npos ? rest : rest.substr(0, end));
}

RuntimeError Detailed(RuntimeError e, const std::string& detail) {
  e.set_detail(detail);
  return e;
}

// DAO's error for SQLite's message of an SQLITE_ERROR, or none.
bool FromMessage(const std::string& message, const std::string& statement, RuntimeError* out) {
  // A typed column's refusal of a value (typed_columns.h) fails with DAO's text.
  if (message == jet::Text(jet::kTypeMismatch)) {
    *out = jet::Error(jet::kTypeMismatch);
    return true;
  }
  for (const FunctionFailure& f : kFunctionFailures) {
    if (message == f.text) {
      *out = RuntimeError(f.number, message);
      return true;
    }
  }
  for (const MessageRule& rule : kMessageRules) {
    std::string_view prefix = rule.prefix;
    if (!message.starts_with(prefix)) continue;
    std::string rest = message.substr(prefix.size());
    int number = rule.number != 0 ? rule.number : SyntaxErrorOf(statement);
    std::string argument;
    switch (rule.argument) {
      case Argument::kNone:
        break;
      case Argument::kName:
        argument = WithoutSchema(rest);
        break;
      case Argument::kToken:
        argument = QuotedToken(prefix.ends_with('"') ? "\"" + rest : rest);
        break;
      case Argument::kOne:
        argument = "1";
        break;
    }
    *out = jet::Error(number, argument);
    return true;
  }
  if (message.starts_with(kTablePrefix)) {
    std::string rest = message.substr(kTablePrefix.size());
    if (rest.ends_with(kAlreadyExists)) {
      *out = jet::Error(jet::kTableExists,
                        WithoutSchema(rest.substr(0, rest.size() - kAlreadyExists.size())));
      return true;
    }
    if (size_t at = rest.find(kNoColumnNamed); at != std::string::npos) {
      *out = jet::Error(jet::kUnknownField, rest.substr(at + kNoColumnNamed.size()));
      return true;
    }
  }
  return false;
}

// DAO's error for SQLite's failure (see JetErrorOf), without its detail.
RuntimeError Mapped(int code, const std::string& message, FailureSite site, const std::string& path,
                    const std::string& statement) {
  bool file = site == FailureSite::kFile;
  switch (code & 0xFF) {
    case SQLITE_ERROR: {
      RuntimeError e(0);
      if (FromMessage(message, statement, &e)) return e;
      break;
    }
    case SQLITE_AUTH:
      return jet::Error(jet::kTableNotFound, message);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return file ? jet::Error(jet::kFileInUse, path) : jet::Error(jet::kLocked);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
      return jet::Error(jet::kOpenedExclusively, path);
    case SQLITE_READONLY:
      return jet::Error(jet::kReadOnly);
    case SQLITE_NOTADB:
      return jet::Error(jet::kUnrecognizedFormat, path);
    case SQLITE_CORRUPT:
      return jet::Error(jet::kCannotOpenDatabase, path);
    case SQLITE_FULL:
      return jet::Error(jet::kDiskFull);
    case SQLITE_IOERR:
      return jet::Error(jet::kDiskOrNetwork);
    case SQLITE_NOMEM:
      return RuntimeError(err::kOutOfMemory);
    case SQLITE_TOOBIG:
      return jet::Error(jet::kResourcesExceeded);
    case SQLITE_MISMATCH:
      return jet::Error(jet::kTypeMismatch);
    case SQLITE_CONSTRAINT:
      // A trigger's RAISE speaks the database designer's own words.
      if (code == SQLITE_CONSTRAINT_TRIGGER) {
        return RuntimeError(jet::kReservedError, message);
      }
      if (code == SQLITE_CONSTRAINT_NOTNULL && message.starts_with(kNotNullPrefix)) {
        std::string field = message.substr(kNotNullPrefix.size());
        if (size_t dot = field.rfind('.'); dot != std::string::npos) field.erase(0, dot + 1);
        return jet::Error(jet::kRequiredField, field);
      }
      return jet::Error(jet::kDuplicateKey);
    default:
      break;
  }
  // No DAO text says what went wrong: Jet's reserved error (SQLite's own words
  // go in the detail).
  return jet::Error(jet::kReservedError);
}

}  // namespace

std::string MissingTableOf(const std::string& message) {
  std::string_view prefix = kNoSuchTable;
  return message.starts_with(prefix) ? WithoutSchema(message.substr(prefix.size())) : "";
}

RuntimeError JetErrorOf(int code, const std::string& message, FailureSite site,
                        const std::string& path, const std::string& statement,
                        const std::string& detail) {
  RuntimeError e = Mapped(code, message, site, path, statement);
  // SQLite's words name what DAO's text may leave out (the unknown column
  // behind "Too few parameters"); a refused table is named in the text.
  if (code == SQLITE_AUTH || message.empty() || e.description() == message) {
    return Detailed(std::move(e), detail);
  }
  return Detailed(std::move(e), (detail.empty() ? "" : detail + "\n") + kSqliteSaid + message);
}

}  // namespace kestle::db
