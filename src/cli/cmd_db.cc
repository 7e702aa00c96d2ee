// The `kestle db` command: create a sample split database, link back-end
// tables into a front-end, and run one Jet SQL statement on a front-end.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "db/sqlite/sample_database.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/ascii.h"
#include "platform/env.h"

namespace kestle::cli {
namespace {

constexpr const char* kDbDescription =
    "Host databases for the archive, backup and shipping jobs: SQLite files that\n"
    "speak Jet SQL. A front-end lists its linked tables in its table kestle_links\n"
    "(name, connect), the connect text naming the back-end as ';DATABASE=PATH'\n"
    "(a relative PATH is taken from the front-end's folder).\n"
    "\n"
    "Examples:\n"
    "  kestle db sample /tmp/demo --orders 200000\n"
    "  kestle db sql /tmp/demo/orders.db \"SELECT TOP 5 * FROM [sales orders] WHERE "
    "SalesOrderID LIKE 'WO*'\"\n"
    "  kestle db link front.db /data/orders_be.db \"inventory transactions\" Status";

constexpr const char* kSqlNotes =
    "The statement is Jet SQL, translated for SQLite: DELETE * FROM, dates as\n"
    "#1/5/2026 7:03:00 AM# or #2026-01-05 07:03#, \"text\" strings, LIKE with the\n"
    "wildcards * ? # [a-z] [!a-z] (letters without regard to case), IsNull, Nz,\n"
    "Ucase, Lcase, Len, Trim, Left, Right, Mid, IIf, & (Null as \"\"), True (-1),\n"
    "False (0), / as real division and SELECT TOP n. INSERT and UPDATE skip rows\n"
    "that would break a key, as Jet does without dbFailOnError. Text after the\n"
    "statement (a second statement) is an error. Only the tables the front-end\n"
    "links are visible in a back-end. Not translated: MOD, \\, ^, SELECT INTO,\n"
    "DISTINCTROW, Date(), Now(), Format().";

struct DbArgs {
  std::string dir;
  int64_t orders = 1000;
  uint64_t seed = 1;
  std::string front;
  std::string backend;
  std::vector<std::string> tables;
  std::string statement;
  bool force = false;
};

// `text` as an SQL text literal.
std::string Quote(const std::string& text) { return ascii::Enclosed(text, '\''); }

// The sample file in `dir` that is already there (an entry of any kind),
// or "" when neither is.
std::string ExistingSampleFile(const std::string& dir) {
  for (const char* name : {db::kSampleFrontEndName, db::kSampleBackEndName}) {
    const std::filesystem::path file = std::filesystem::path(dir) / name;
    std::error_code ec;
    if (std::filesystem::symlink_status(file, ec).type() != std::filesystem::file_type::not_found) {
      return file.string();
    }
  }
  return "";
}

int RunSample(const DbArgs& a) {
  if (!a.force) {
    const std::string existing = ExistingSampleFile(a.dir);
    if (!existing.empty()) {
      return Fail("db sample: " + existing + " exists; nothing was written (--force replaces it)");
    }
  }
  // Below this many orders the sample is ready before a progress line would help.
  constexpr int64_t kProgressFrom = 50000;
  ProgressLine progress("sample", static_cast<uint64_t>(a.orders), "orders",
                        ProgressLine::StderrIsTerminal() && a.orders >= kProgressFrom);
  // A missing DIR is made, as long as its parent exists.
  Env* env = Env::Default();
  if (!env->FolderExists(a.dir)) env->CreateFolder(a.dir);
  db::SampleOptions options;
  options.seed = a.seed;
  options.progress = [&](int64_t done) { progress.Update(static_cast<uint64_t>(done)); };
  db::SamplePaths paths = db::WriteSampleDatabase(a.dir, a.orders, options);
  progress.Finish();
  std::printf("front-end: %s\nback-end:  %s\n", paths.front_end.c_str(), paths.back_end.c_str());
  return kExitOk;
}

// Links all local tables of the back-end, or the named ones, into the
// front-end (made when missing); a link of the same name is replaced.
int RunLink(const DbArgs& a) {
  const std::string connect = db::LinkConnect(a.backend);
  const std::string backend = db::AbsolutePath(a.backend);
  std::vector<std::string> available;
  for (const auto& def : db::OpenSqliteDatabase(backend, db::OpenMode::kReadOnly)->TableDefs()) {
    if (def->Connect().empty()) available.push_back(def->Name());
  }
  std::vector<std::string> chosen;
  if (a.tables.empty()) {
    chosen = available;
  } else {
    for (const std::string& want : a.tables) {
      auto it = std::find_if(available.begin(), available.end(),
                             [&](const std::string& n) { return ascii::EqualsNoCase(n, want); });
      if (it == available.end()) {
        return Fail("db link: no table named '" + want + "' in " + backend);
      }
      chosen.push_back(*it);
    }
  }
  auto front = db::OpenSqliteDatabase(a.front, db::OpenMode::kCreate);
  for (const auto& def : front->TableDefs()) {
    for (const std::string& name : chosen) {
      if (def->Connect().empty() && ascii::EqualsNoCase(def->Name(), name)) {
        return Fail("db link: " + a.front + " has a local table named '" + name + "'");
      }
    }
  }
  front->Execute(db::kCreateLinksTable);
  for (const std::string& name : chosen) {
    front->Execute("DELETE FROM kestle_links WHERE name = " + Quote(name));
    front->Execute("INSERT INTO kestle_links (name, connect) VALUES (" + Quote(name) + ", " +
                   Quote(connect) + ")");
    std::printf("linked %s\n", name.c_str());
  }
  return kExitOk;
}

std::string CellText(const db::Value& v) { return v.is_null() ? "Null" : v.ToText(); }

// Prints the rows as a table: a header, a rule and one line per row, numbers
// aligned right and text left.
void PrintTable(const db::QueryResult& result) {
  size_t n = result.columns.size();
  std::vector<size_t> width(n);
  std::vector<std::vector<std::string>> cells;
  for (size_t c = 0; c < n; ++c) width[c] = result.columns[c].size();
  for (const auto& row : result.rows) {
    auto& line = cells.emplace_back();
    for (size_t c = 0; c < n; ++c) {
      line.push_back(CellText(row[c]));
      width[c] = std::max(width[c], line.back().size());
    }
  }
  auto print_line = [&](const std::vector<std::string>& line, const std::vector<db::Value>* row) {
    std::string out;
    for (size_t c = 0; c < n; ++c) {
      bool numeric = row && ((*row)[c].is_integer() || (*row)[c].is_real());
      std::string pad(width[c] - line[c].size(), ' ');
      out += (c ? "  " : "") + (numeric ? pad + line[c] : line[c] + (c + 1 < n ? pad : ""));
    }
    std::printf("%s\n", out.c_str());
  };
  print_line(result.columns, nullptr);
  std::string rule;
  for (size_t c = 0; c < n; ++c) rule += (c ? "  " : "") + std::string(width[c], '-');
  std::printf("%s\n", rule.c_str());
  for (size_t r = 0; r < cells.size(); ++r) print_line(cells[r], &result.rows[r]);
  std::printf("(%zu %s)\n", result.rows.size(), result.rows.size() == 1 ? "row" : "rows");
}

// A query runs on a read-only connection, which writes nothing to the files;
// an action statement on a writing one.
int RunSql(const DbArgs& a) {
  auto db = db::OpenSqliteDatabase(a.front, db::OpenMode::kReadOnly);
  if (db->ReturnsRows(a.statement)) {
    PrintTable(db->Query(a.statement));
  } else {
    db.reset();
    db = db::OpenSqliteDatabase(a.front, db::OpenMode::kReadWrite);
    db->Execute(a.statement);
    long long n = db->RecordsAffected();
    std::printf("%lld %s affected\n", n, n == 1 ? "row" : "rows");
  }
  return kExitOk;
}

}  // namespace

Runner SetupDb(CLI::App* cmd) {
  auto args = std::make_shared<DbArgs>();
  cmd->description(kDbDescription);
  cmd->require_subcommand(1);

  CLI::App* sample = cmd->add_subcommand(
      "sample",
      "Create DIR/orders.db (front-end) and DIR/orders_be.db (back-end) with sample orders");
  sample
      ->add_option("DIR", args->dir,
                   "Folder for the two files (made if missing; existing files are kept unless "
                   "--force)")
      ->required();
  sample->add_option("--orders", args->orders, "Number of orders (about 5 transactions each)")
      ->capture_default_str()
      ->check(WholeNumber())
      ->check(CLI::Range(int64_t{0}, int64_t{100000000}));
  sample->add_option("--seed", args->seed, "Seed of the generator (same seed, same data)")
      ->capture_default_str()
      ->check(WholeNumber());
  sample->add_flag("--force", args->force, "Replace DIR/orders.db and DIR/orders_be.db if there");

  CLI::App* link = cmd->add_subcommand(
      "link", "Link all or the named tables of BACKEND into FRONT (created if missing)");
  link->add_option("FRONT", args->front, "Front-end database file")->required();
  link->add_option("BACKEND", args->backend,
                   "Back-end database file (stored as absolute path; no ';')")
      ->required()
      ->check(CLI::ExistingFile);
  link->add_option("TABLE", args->tables, "Tables to link (default: every table of BACKEND)");

  CLI::App* sql = cmd->add_subcommand(
      "sql",
      "Run one Jet SQL statement on FRONT: a query prints its rows, an action statement "
      "the number of rows it changed");
  sql->add_option("FRONT", args->front, "Front-end database file")
      ->required()
      ->check(CLI::ExistingFile);
  sql->add_option("STATEMENT", args->statement,
                  "One statement, e.g. \"SELECT * FROM Status WHERE Status LIKE 'C*'\"")
      ->required();
  sql->footer(std::string(kSqlNotes) + "\n\n" + cmd->get_footer());

  return [=]() -> int {
    try {
      if (sample->parsed()) return RunSample(*args);
      if (link->parsed()) return RunLink(*args);
      return RunSql(*args);
    } catch (...) {
      return ReportCurrentError(sample->parsed() ? args->dir : args->front);
    }
  };
}

}  // namespace kestle::cli
