// Splitting a script into its statements (sql_script.h).
#include "cli/sql_script.h"

namespace kestle::cli {

namespace {

constexpr const char* kBlanks = " \t\r\n";

void Keep(std::string& statement, std::vector<std::string>& out) {
  const size_t b = statement.find_first_not_of(kBlanks);
  if (b != std::string::npos) {
    const size_t e = statement.find_last_not_of(kBlanks);
    out.push_back(statement.substr(b, e - b + 1));
  }
  statement.clear();
}

}  // namespace

std::vector<std::string> SplitStatements(std::string_view script) {
  std::vector<std::string> out;
  std::string statement;
  size_t i = 0;
  while (i < script.size()) {
    const char c = script[i];
    const char next = i + 1 < script.size() ? script[i + 1] : '\0';
    if (c == ';') {
      Keep(statement, out);
      ++i;
    } else if (c == '-' && next == '-') {
      i = script.find('\n', i);
      if (i == std::string_view::npos) i = script.size();
      statement += ' ';
    } else if (c == '/' && next == '*') {
      const size_t end = script.find("*/", i + 2);
      i = end == std::string_view::npos ? script.size() : end + 2;
      statement += ' ';
    } else if (c == '\'' || c == '"' || c == '[') {
      // A quote inside its string is doubled, which reads as the string
      // ending and another starting at once: the text is copied unchanged.
      const char close = c == '[' ? ']' : c;
      const size_t end = script.find(close, i + 1);
      const size_t stop = end == std::string_view::npos ? script.size() : end + 1;
      statement.append(script.substr(i, stop - i));
      i = stop;
    } else {
      statement += c;
      ++i;
    }
  }
  Keep(statement, out);
  return out;
}

}  // namespace kestle::cli
