// Splitting a script of Jet SQL statements, read from a file or standard
// input, into its statements.
#ifndef KESTLE_CLI_SQL_SCRIPT_H_
#define KESTLE_CLI_SQL_SCRIPT_H_

#include <string>
#include <string_view>
#include <vector>

namespace kestle::cli {

// The statements of `script`, in order: the text is cut at each ";" that
// stands outside a '...' or "..." string, a [...] name and a comment. Comments
// (-- to the end of the line, /* ... */) are left out, since Jet SQL has none;
// statements that are blank once they are gone are dropped. The last
// statement needs no ";". Each statement keeps its text, trimmed of the
// blanks around it.
std::vector<std::string> SplitStatements(std::string_view script);

}  // namespace kestle::cli

#endif  // KESTLE_CLI_SQL_SCRIPT_H_
