// How the SQLite engine reports failures: every SQLite result code and
// message becomes DAO's number and text (jet_errors.h), so that no SQLite code
// reaches a caller, where it would collide with the run-time error numbers.
// Internal to the engine (sqlite_database.cc).
#ifndef KESTLE_DB_SQLITE_SQLITE_ERRORS_H_
#define KESTLE_DB_SQLITE_SQLITE_ERRORS_H_

#include <string>

#include "platform/error.h"

namespace kestle::db {

// The texts the engine's SQL functions fail with (as VBA's functions do);
// JetErrorOf gives them their run-time error numbers.
inline constexpr const char* kInvalidPatternText = "Invalid pattern string";
// SQLite's own words for a LIKE pattern over its length limit; Jet's error
// for it is 3360.
inline constexpr const char* kPatternTooLongText = "LIKE or GLOB pattern too complex";
inline constexpr const char* kInvalidArgumentText = "Invalid procedure call or argument";
inline constexpr const char* kInvalidUseOfNullText = "Invalid use of Null";
inline constexpr const char* kTypeMismatchText = "Type mismatch";
inline constexpr const char* kOverflowText = "Overflow";
inline constexpr const char* kDivisionByZeroText = "Division by zero";

// Where a failure happened: while opening or attaching a database file, or
// while preparing or running a statement.
enum class FailureSite { kFile, kStatement };

// DAO's error for SQLite's failure `code` (an extended result code) with
// SQLite's `message`. `path` is the file concerned (at kFile the file being
// opened, at kStatement the front-end). `statement` is the Jet statement, whose
// first words choose the syntax-error number; for SQLITE_AUTH, `message` is the
// table the front-end cannot see. The error's detail is `detail` and, on a
// line of its own, SQLite's message when it differs from DAO's text (it names
// what DAO's text may leave out, such as the column behind "Too few
// parameters").
RuntimeError JetErrorOf(int code, const std::string& message, FailureSite site,
                        const std::string& path, const std::string& statement,
                        const std::string& detail);

// The table named by SQLite's "no such table" message, without its schema;
// "" for any other message.
std::string MissingTableOf(const std::string& message);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_SQLITE_ERRORS_H_
