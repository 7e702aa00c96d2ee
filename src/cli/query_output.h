// The output formats of `kestle db sql` and `kestle db tables`: a table for a
// person, CSV, TSV, JSON and one field per line for scripts. Rows are written
// as they come, through a buffer that is flushed in large blocks.
#ifndef KESTLE_CLI_QUERY_OUTPUT_H_
#define KESTLE_CLI_QUERY_OUTPUT_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestle::cli {

enum class OutputFormat { kTable, kCsv, kTsv, kJson, kLines };

// The format named `name` ("table", "csv", "tsv", "json", "lines").
std::optional<OutputFormat> ParseOutputFormat(const std::string& name);

struct OutputOptions {
  OutputFormat format = OutputFormat::kTable;
  // The text of a Null; unset for the format's own (table and lines "Null",
  // csv and tsv empty). JSON writes null whatever this says.
  std::optional<std::string> null_text;
  // Whether table, csv and tsv start with the column names.
  bool header = true;
};

// One cell of a row.
struct Cell {
  enum class Kind { kNull, kInteger, kReal, kText };
  Kind kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string_view text;
};

// Writes the rows of one result to `out`. Call Add once per row, then
// Finish. Every format streams; the table format holds its first rows (up to
// kTableLookahead) to size its columns, and a later cell wider than its
// column widens only its own line.
class RowWriter {
 public:
  static constexpr size_t kTableLookahead = 1000;

  RowWriter(std::vector<std::string> columns, const OutputOptions& options, std::FILE* out);
  ~RowWriter();
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  // Writes one row of columns().size() cells.
  void Add(const Cell* cells);
  // Writes what is held back and the format's closing text; returns the
  // number of rows written.
  uint64_t Finish();

  // The base of the formats, defined beside them.
  class Format;

 private:
  std::unique_ptr<Format> format_;
  uint64_t rows_ = 0;
};

}  // namespace kestle::cli

#endif  // KESTLE_CLI_QUERY_OUTPUT_H_
