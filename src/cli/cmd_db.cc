// The `kestle db` command: create a sample split database, link back-end
// tables into a front-end and give it the component's work tables (the
// statements and the table listing are in cmd_db_sql.cc).
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

struct DbArgs {
  std::string dir;
  int64_t orders = 1000;
  uint64_t seed = 1;
  std::string front;
  std::string backend;
  std::vector<std::string> tables;
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
  if (!Quiet()) {
    std::printf("front-end: %s\nback-end:  %s\n", paths.front_end.c_str(), paths.back_end.c_str());
  }
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
    // Reported only once committed (the engine groups its commits).
    front->Commit();
    if (!Quiet()) std::printf("linked %s\n", name.c_str());
  }
  return kExitOk;
}

// Adds the component's work tables that the front-end lacks; a table of that
// name that is there already, local or linked, is kept as it is.
int RunInit(const DbArgs& a) {
  auto front = db::OpenSqliteDatabase(a.front, db::OpenMode::kReadWrite);
  const auto defs = front->TableDefs();
  for (const db::WorkTable& table : db::kWorkTables) {
    const bool there = std::any_of(defs.begin(), defs.end(), [&](const auto& def) {
      return ascii::EqualsNoCase(def->Name(), table.name);
    });
    if (!there) {
      for (const char* sql : table.create) {
        if (sql != nullptr) front->Execute(sql);
      }
      front->Commit();
    }
    if (!Quiet()) std::printf("%s %s\n", there ? "kept" : "created", table.name);
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
      "Run Jet SQL statements on FRONT: a query prints its rows, an action statement "
      "the number of rows it changed");
  CLI::App* tables =
      cmd->add_subcommand("tables", "List the tables of FRONT: local ones and linked ones");
  const Runner run_sql = SetupDbSql(sql, tables);
  sql->footer(sql->get_footer() + "\n\n" + cmd->get_footer());

  CLI::App* init = cmd->add_subcommand(
      "init",
      "Add the work tables of the archive and backup jobs (Archiver_ListToDelete, "
      "BackupManagerTable) to FRONT, a front-end made by db link");
  init->add_option("FRONT", args->front, "Front-end database file")
      ->required()
      ->check(CLI::ExistingFile);

  return [=]() -> int {
    if (sql->parsed() || tables->parsed()) return run_sql();
    try {
      if (sample->parsed()) return RunSample(*args);
      if (link->parsed()) return RunLink(*args);
      return RunInit(*args);
    } catch (...) {
      return ReportCurrentError(sample->parsed() ? args->dir : args->front);
    }
  };
}

}  // namespace kestle::cli
