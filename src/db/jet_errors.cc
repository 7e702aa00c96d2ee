// DAO's numbers and texts for the failures of a Jet host database.
#include "db/jet_errors.h"

namespace kestle::db::jet {

namespace {

struct JetError {
  int number;
  const char* text;  // "|" stands for the argument
};

// Jet's own wording, blanks included (Jet puts two blanks between sentences).
constexpr JetError kJetErrors[] = {
    {kInvalidArgument, "Invalid argument."},
    {kTableExists, "Table '|' already exists."},
    {kDuplicateKey,
     "The changes you requested to the table were not successful because they would create "
     "duplicate values in the index, primary key, or relationship."},
    {kNoCurrentRecord, "No current record."},
    {kFileNotFound, "Could not find file '|'."},
    {kDiskFull, "Not enough space on disk."},
    {kReadOnly, "Cannot update.  Database or object is read-only."},
    {kResourcesExceeded, "System resource exceeded."},
    {kDiskOrNetwork, "Disk or network error."},
    {kInvalidPath,
     "'|' is not a valid path.  Make sure that the path name is spelled correctly and that you "
     "are connected to the server on which the file resides."},
    {kFileInUse, "Could not use '|'; file already in use."},
    {kCannotOpenDatabase,
     "Cannot open database '|'.  It may not be a database that your application recognizes, or "
     "the file may be corrupt."},
    {kOpenedExclusively,
     "The Microsoft Jet database engine cannot open the file '|'.  It is already opened "
     "exclusively by another user, or you need permission to view its data."},
    {kTooFewParameters, "Too few parameters. Expected |."},
    {kCannotExecuteSelect, "Cannot execute a select query."},
    {kMissingOperator, "Syntax error (missing operator) in query expression '|'."},
    {kTableNotFound,
     "The Microsoft Jet database engine cannot find the input table or query '|'.  Make sure it "
     "exists and that its name is spelled correctly."},
    {kAmbiguousField,
     "The specified field '|' could refer to more than one table listed in the FROM clause of "
     "your SQL statement."},
    {kUndefinedFunction, "Undefined function '|' in expression."},
    {kUnknownField,
     "The INSERT INTO statement contains the following unknown field name: '|'.  "
     "Make sure you have typed the name correctly, and try the operation again."},
    {kInvalidStatement,
     "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."},
    {kFromClauseSyntax, "Syntax error in FROM clause."},
    {kInsertSyntax, "Syntax error in INSERT INTO statement."},
    {kExtraCharacters, "Characters found after end of SQL statement."},
    {kUpdateSyntax, "Syntax error in UPDATE statement."},
    {kSelectSyntax,
     "The SELECT statement includes a reserved word or an argument name that is misspelled or "
     "missing, or the punctuation is incorrect."},
    {kCreateTableSyntax, "Syntax error in CREATE TABLE statement."},
    {kCreateIndexSyntax, "Syntax error in CREATE INDEX statement."},
    {kAlterTableSyntax, "Syntax error in ALTER TABLE statement."},
    {kDropSyntax, "Syntax error in DROP TABLE or DROP INDEX."},
    {kLinkedTableDdl, "Cannot execute data definition statements on linked data sources."},
    {kLocked, "Could not update; currently locked."},
    {kInvalidOperation, "Invalid operation."},
    {kItemNotFound, "Item not found in this collection."},
    {kFieldDefinitionSyntax, "Syntax error in field definition."},
    {kRequiredField,
     "The field '|' cannot contain a Null value because the Required property for this field "
     "is set to True.  Enter a value in this field."},
    {kUnrecognizedFormat, "Unrecognized database format '|'."},
    {kTypeMismatch, "Data type mismatch in criteria expression."},
    {kQueryTooComplex, "Query is too complex."},
};

// The date variant of 3075's text, up to the literal.
constexpr const char* kDateSyntaxBefore = "Syntax error in date in query expression '";
// The wrong-argument-count variant of 3075's text, up to the expression.
constexpr const char* kArgumentCountBefore =
    "Wrong number of arguments used with function in query expression '";

}  // namespace

std::string Text(int number, const std::string& argument) {
  for (const JetError& e : kJetErrors) {
    if (e.number != number) continue;
    std::string text = e.text;
    if (size_t bar = text.find('|'); bar != std::string::npos) text.replace(bar, 1, argument);
    return text;
  }
  return "Reserved error (" + std::to_string(number) + "); there is no message for this error.";
}

RuntimeError DateSyntaxError(const std::string& literal) {
  return RuntimeError(kMissingOperator, kDateSyntaxBefore + literal + "'.");
}

RuntimeError ArgumentCountError(const std::string& expression) {
  return RuntimeError(kMissingOperator, kArgumentCountBefore + expression + "'.");
}

RuntimeError Error(int number, const std::string& argument) {
  return RuntimeError(number, Text(number, argument));
}

}  // namespace kestle::db::jet
