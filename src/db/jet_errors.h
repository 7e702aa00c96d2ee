// The errors that a Jet host database reports, by DAO's numbers and texts.
//
// A database engine that plays the host's Jet engine reports its failures the
// way DAO does, so that a message box or the tool shows "3024: Could not find
// file '...'." and never a foreign engine's own code, which could collide with
// the run-time error numbers (SQLite's 5 "database is locked" against error 5
// "Invalid procedure call or argument"). Every number and text lives in the
// table of jet_errors.cc; "|" in a text marks where the argument goes.
#ifndef KESTLE_DB_JET_ERRORS_H_
#define KESTLE_DB_JET_ERRORS_H_

#include <string>

#include "platform/error.h"

namespace kestle::db::jet {

inline constexpr int kReservedError = 3000;  // no message of its own
inline constexpr int kInvalidArgument = 3001;
inline constexpr int kDuplicateKey = 3022;
inline constexpr int kFileNotFound = 3024;  // 'path'
inline constexpr int kDiskFull = 3026;
inline constexpr int kReadOnly = 3027;
inline constexpr int kInvalidPath = 3044;         // 'path'
inline constexpr int kFileInUse = 3045;           // 'path'
inline constexpr int kCannotOpenDatabase = 3049;  // 'path'
inline constexpr int kOpenedExclusively = 3051;   // 'path'
inline constexpr int kCannotExecuteSelect = 3065;
inline constexpr int kMissingOperator = 3075;    // 'expression'
inline constexpr int kTableNotFound = 3078;      // 'name'
inline constexpr int kUndefinedFunction = 3085;  // 'name'
inline constexpr int kTableExists = 3010;        // 'name'
inline constexpr int kInvalidStatement = 3129;
inline constexpr int kFromClauseSyntax = 3131;
inline constexpr int kInsertSyntax = 3134;
inline constexpr int kExtraCharacters = 3142;
inline constexpr int kUpdateSyntax = 3144;
inline constexpr int kSelectSyntax = 3141;
inline constexpr int kCreateTableSyntax = 3290;
inline constexpr int kCreateIndexSyntax = 3291;
inline constexpr int kAlterTableSyntax = 3293;
inline constexpr int kDropSyntax = 3295;
inline constexpr int kLinkedTableDdl = 3611;
inline constexpr int kUnknownField = 3127;  // 'name'
inline constexpr int kLocked = 3218;
inline constexpr int kItemNotFound = 3265;
inline constexpr int kFieldDefinitionSyntax = 3292;
inline constexpr int kUnrecognizedFormat = 3343;  // 'path'
inline constexpr int kTypeMismatch = 3464;
inline constexpr int kTooFewParameters = 3061;  // count
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr int kDiskOrNetwork = 3043;
inline constexpr int kAmbiguousField = 3079;  // 'name'
inline constexpr int kInvalidOperation = 3219;
inline constexpr int kRequiredField = 3314;  // 'field'
inline constexpr int kResourcesExceeded = 3035;
inline constexpr int kQueryTooComplex = 3360;

// The DAO text of `number` with `argument` in its place; a number missing
// from the table gives Jet's "Reserved error (N); there is no message for
// this error." text.
std::string Text(int number, const std::string& argument = "");

// A RuntimeError carrying `number` and its DAO text.
RuntimeError Error(int number, const std::string& argument = "");

// Jet's error for a malformed date literal: 3075 in the words Jet uses for a
// date ("Syntax error in date in query expression '#...#'.").
RuntimeError DateSyntaxError(const std::string& literal);

// Jet's error for a function called with too many or too few arguments: 3075
// in the words Jet uses for it ("Wrong number of arguments used with function
// in query expression 'Left(x)'.").
RuntimeError ArgumentCountError(const std::string& expression);

}  // namespace kestle::db::jet

#endif  // KESTLE_DB_JET_ERRORS_H_
