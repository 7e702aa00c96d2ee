// `kestle db sql` and `kestle db tables`: Jet SQL statements run on a
// front-end, given on the command line, in a file or on standard input, and
// their rows printed as they are read, in the format asked for.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/query_output.h"
#include "cli/sql_script.h"
#include "cli/std_streams.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/env.h"
#include "platform/error.h"

namespace kestle::cli {
namespace {

constexpr const char* kSqlNotes =
    "The statement is Jet SQL, translated for SQLite: DELETE * FROM, dates as\n"
    "#1/5/2026 7:03:00 AM# or #2026-01-05 07:03#, \"text\" strings, LIKE with the\n"
    "wildcards * ? # [a-z] [!a-z] (letters without regard to case), Jet's\n"
    "functions with VBA's rules (Format, DateAdd, InStr, Round, ...: the README's\n"
    "\"Jet functions\" lists them; any other name is 3085 \"Undefined function\"),\n"
    "& (Null as \"\"), True (-1), False (0), / as real division, SELECT TOP n\n"
    "[PERCENT], SELECT INTO and DISTINCTROW. Operators are Jet's: comparisons and\n"
    "NOT AND OR XOR EQV IMP give -1/0 and work bitwise on numbers, \\ and Mod\n"
    "round half to even, ^, + joins texts; text compares without regard to case.\n"
    "Date/Time columns store date text as dates (other text fails with 3464).\n"
    "INSERT and UPDATE skip rows that would break a key, as Jet does without\n"
    "dbFailOnError. Text after the statement (a second statement) is an error.\n"
    "Only the tables the front-end links are visible in a back-end. README.md\n"
    "lists the functions, the operators' rules and what is refused.\n"
    "\n"
    "A script (-f FILE, or - for standard input) holds statements separated by\n"
    "\";\" (outside strings, [names] and comments; -- and /* */ comments are\n"
    "dropped). They run in order, each query printing its own result; the first\n"
    "that fails stops the script (exit code 1).\n"
    "\n"
    "Formats: table (the default; sized by its first 1000 rows, widths in\n"
    "characters), csv (RFC 4180: fields with , \" or line breaks quoted, CR LF\n"
    "line ends), tsv (tab, line feed, backslash and carriage return in a field\n"
    "written as \\t \\n \\\\ \\r), json (an array of one object per row, Null as\n"
    "null, numbers as numbers) and lines (\"column = value\", a blank line between\n"
    "rows). Numbers are written in their shortest exact form. The row count of a\n"
    "table and the count of rows an action statement changed go to standard\n"
    "output in the table format and to standard error in the others; -q leaves\n"
    "them out.";

struct SqlArgs {
  std::string front;
  std::string statement;
  std::string script;
  std::string format_name;
  std::string null_text;
  OutputOptions output;
};

// The statements to run: the one on the command line as it stands, or a
// script's, split.
std::vector<std::string> Statements(const SqlArgs& a) {
  std::string path = a.script;
  if (path.empty() && a.statement != kStdStreamPath) return {a.statement};
  if (path.empty()) path = kStdStreamPath;
  StdStreamEnv env(Env::Default());
  std::unique_ptr<SequentialFile> file = env.NewSequentialFile(path);
  std::string text;
  char buf[1 << 16];
  for (size_t n; (n = file->Read(buf, sizeof buf)) > 0;) text.append(buf, n);
  return SplitStatements(text);
}

// A summary line, on standard output beside a table and on standard error
// beside the formats that scripts read; none when quiet.
void Summary(const OutputOptions& o, const std::string& text) {
  if (Quiet()) return;
  std::FILE* to = o.format == OutputFormat::kTable ? stdout : stderr;
  std::fprintf(to, "%s\n", text.c_str());
}

std::string Counted(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Prints the rows of a query as the engine reads them.
uint64_t PrintQuery(db::SqliteDatabase& database, const std::string& sql, const OutputOptions& o) {
  std::unique_ptr<db::RowStream> rows = database.Stream(sql);
  RowWriter writer(rows->columns(), o, stdout);
  std::vector<Cell> cells(rows->columns().size());
  while (rows->Next()) {
    for (size_t c = 0; c < cells.size(); ++c) {
      const int col = static_cast<int>(c);
      Cell& cell = cells[c];
      switch (rows->kind(col)) {
        case db::RowStream::Kind::kNull:
          cell.kind = Cell::Kind::kNull;
          break;
        case db::RowStream::Kind::kInteger:
          cell.kind = Cell::Kind::kInteger;
          cell.integer = rows->integer(col);
          break;
        case db::RowStream::Kind::kReal:
          cell.kind = Cell::Kind::kReal;
          cell.real = rows->real(col);
          break;
        case db::RowStream::Kind::kText:
          cell.kind = Cell::Kind::kText;
          cell.text = rows->text(col);
          break;
      }
    }
    writer.Add(cells.data());
  }
  return writer.Finish();
}

// Queries run on a read-only connection, which writes nothing to the files;
// the first action statement reopens the front-end for writing, and the
// statements after it run there too, so that they see its changes.
int RunSql(const SqlArgs& a) {
  const std::vector<std::string> statements = Statements(a);
  auto database = db::OpenSqliteDatabase(a.front, db::OpenMode::kReadOnly);
  bool writing = false;
  for (const std::string& sql : statements) {
    if (database->ReturnsRows(sql)) {
      const uint64_t n = PrintQuery(*database, sql, a.output);
      if (a.output.format == OutputFormat::kTable)
        Summary(a.output, "(" + Counted(n, "row", "rows") + ")");
      continue;
    }
    if (!writing) {
      database.reset();
      database = db::OpenSqliteDatabase(a.front, db::OpenMode::kReadWrite);
      writing = true;
    }
    database->Execute(sql);
    // Reported only once committed (the engine groups its commits).
    database->Commit();
    std::fflush(stdout);
    Summary(a.output, Counted(static_cast<uint64_t>(database->RecordsAffected()), "row", "rows") +
                          " affected");
  }
  // Output that could not be written (a full disk) fails the command.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw RuntimeError(err::kDeviceIo).set_detail("standard output");
  }
  return kExitOk;
}

// Prints the front-end's tables: local ones, and linked ones with the
// back-end file they are read from.
int RunTables(const SqlArgs& a) {
  static constexpr const char* kLocal = "local";
  static constexpr const char* kLinked = "linked";
  auto database = db::OpenSqliteDatabase(a.front, db::OpenMode::kReadOnly);
  RowWriter writer({"Name", "Type", "BackEnd"}, a.output, stdout);
  for (const auto& def : database->TableDefs()) {
    const std::string name = def->Name(), connect = def->Connect();
    const std::string backend = db::ConnectDatabasePath(connect);
    Cell cells[3];
    cells[0] = {Cell::Kind::kText, 0, 0, name};
    cells[1] = {Cell::Kind::kText, 0, 0, connect.empty() ? kLocal : kLinked};
    if (!connect.empty()) cells[2] = {Cell::Kind::kText, 0, 0, backend};
    writer.Add(cells);
  }
  writer.Finish();
  return kExitOk;
}

// Declares --format, --null and --header/--no-header.
void AddOutputOptions(CLI::App* cmd, SqlArgs* a) {
  cmd->add_option("--format", a->format_name, "Output format: table, csv, tsv, json or lines")
      ->default_val("table")
      ->check(CLI::IsMember({"table", "csv", "tsv", "json", "lines"}));
  cmd->add_option("--null", a->null_text,
                  "Text of a Null (default: Null in table and lines, empty in csv and tsv)");
  bool* header = &a->output.header;
  cmd->add_flag_callback(
      "--header", [header] { *header = true; },
      "Start table, csv and tsv output with the column names (the default)");
  cmd->add_flag_callback(
      "--no-header", [header] { *header = false; }, "Leave out the column names");
}

// Completes the output options once the command line is parsed.
void FinishOutputOptions(CLI::App* cmd, SqlArgs* a) {
  a->output.format = ParseOutputFormat(a->format_name).value_or(OutputFormat::kTable);
  if (cmd->count("--null") > 0) a->output.null_text = a->null_text;
}

}  // namespace

Runner SetupDbSql(CLI::App* sql, CLI::App* tables) {
  auto args = std::make_shared<SqlArgs>();
  sql->add_option("FRONT", args->front, "Front-end database file")
      ->required()
      ->check(CLI::ExistingFile);
  sql->add_option("STATEMENT", args->statement,
                  "One statement, e.g. \"SELECT * FROM Status WHERE Status LIKE 'C*'\"; - reads "
                  "a script from standard input");
  CLI::Option* script =
      sql->add_option("-f,--file", args->script, "Run the script in FILE (- for standard input)")
          ->type_name("FILE");
  script->excludes(sql->get_option("STATEMENT"));
  AddOutputOptions(sql, args.get());
  sql->footer(kSqlNotes);

  tables->add_option("FRONT", args->front, "Front-end database file")
      ->required()
      ->check(CLI::ExistingFile);
  AddOutputOptions(tables, args.get());

  return [=]() -> int {
    CLI::App* cmd = sql->parsed() ? sql : tables;
    FinishOutputOptions(cmd, args.get());
    if (sql->parsed() && args->script.empty() && args->statement.empty()) {
      return Fail("db sql: give a STATEMENT, - or -f FILE", kExitUsage);
    }
    try {
      return sql->parsed() ? RunSql(*args) : RunTables(*args);
    } catch (...) {
      std::fflush(stdout);
      return ReportCurrentError(args->front);
    }
  };
}

}  // namespace kestle::cli
