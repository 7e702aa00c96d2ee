// The `kestle archive` command: Archiver.archiveNow / archiveNowAll on a host
// database, or with --dry-run only the list of orders a run would remove.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "archive/archive_list.h"
#include "archive/order_deletion.h"
#include "cli/cli.h"
#include "component/archiver.h"
#include "component/result_codes.h"
#include "db/sqlite_database.h"
#include "platform/date.h"
#include "platform/env.h"

namespace kestle::cli {
namespace {

constexpr const char* kArchiveDescription =
    "Remove finished orders, with their inventory transactions, from a host database.\n"
    "\n"
    "The run fills the work table Archiver_ListToDelete with the purchase, sales and\n"
    "work orders that have inventory transactions (closed or archived ones only,\n"
    "unless --all), then takes out again every order whose latest transaction lies\n"
    "on or after the end date, every purchase order required after it and every\n"
    "sales order expected (ETA) after it. Each remaining order's inventory\n"
    "transactions and order row are then deleted. Nothing is copied anywhere:\n"
    "take a backup first (kestle backup). No transaction encloses the run; an\n"
    "error leaves what ran before it in place.\n";

constexpr const char* kArchiveFooter =
    "DATE is YYYY-MM-DD, optionally followed by \" HH:MM[:SS]\" or \"THH:MM[:SS]\".\n"
    "The LPC date must lie at least one calendar day after the end date.\n"
    "Exit codes: 0 done, 1 run-time error (shown as \"TITLE: N: DESCRIPTION\" on\n"
    "stderr), 2 usage error, 3 dates refused (nothing was changed).";

// The list a dry run prints: one line per order, with its latest transaction.
constexpr const char* kListQuery =
    "SELECT OrderID, Max(LastTransDate) AS LastTransDate FROM Archiver_ListToDelete "
    "GROUP BY OrderID ORDER BY OrderID";
// The rows the deletion pass will walk, for the progress line.
constexpr const char* kListRowCountQuery = "SELECT Count(*) AS ListRows FROM Archiver_ListToDelete";

struct ArchiveOptions {
  std::string front_end;
  std::string end_text;
  std::string lpc_text;
  bool all = false;
  bool dry_run = false;
};

std::string ValueText(const db::Value& v) { return v.is_null() ? "" : v.ToText(); }

// Prints the work table's orders, one per line; returns how many there are.
int64_t PrintList(db::Database& database) {
  std::shared_ptr<db::Recordset> rs = database.OpenRecordset(kListQuery);
  int64_t orders = 0;
  for (; !rs->Eof(); rs->MoveNext()) {
    std::printf("%s\t%s\n", ValueText(rs->Field("OrderID")).c_str(),
                ValueText(rs->Field("LastTransDate")).c_str());
    ++orders;
  }
  return orders;
}

// The number of distinct orders in the work table.
int64_t CountListedOrders(db::Database& database) {
  std::shared_ptr<db::Recordset> rs = database.OpenRecordset(kListQuery);
  int64_t orders = 0;
  for (; !rs->Eof(); rs->MoveNext()) ++orders;
  return orders;
}

int64_t CountListRows(db::Database& database) {
  std::shared_ptr<db::Recordset> rs = database.OpenRecordset(kListRowCountQuery);
  return rs->Eof() ? 0 : std::stoll(rs->Field("ListRows").ToText());
}

const char* KindOfOrders(bool all) {
  return all ? "orders of any status" : "closed and archived orders";
}

int RunArchive(const ArchiveOptions& o) {
  const std::optional<Date> end = ParseIsoDateTime(o.end_text);
  const std::optional<Date> lpc = ParseIsoDateTime(o.lpc_text);
  if (!end) return Fail("archive: --end: not a date: '" + o.end_text + "'", kExitUsage);
  if (!lpc) return Fail("archive: --lpc: not a date: '" + o.lpc_text + "'", kExitUsage);

  const std::shared_ptr<db::Database> database = db::OpenSqliteDatabase(o.front_end);

  if (o.dry_run) {
    // The same check archiveNow makes first: a refused range builds no list.
    if (!archive::DateRangeAccepted(*lpc, *end)) {
      return Fail("archive: the LPC date must lie at least one day after the end date",
                  kExitRefused);
    }
    archive::fillArchiveList(*database, *end, !o.all);
    const int64_t orders = PrintList(*database);
    std::printf("%lld %s would be removed (dry run; nothing was deleted)\n",
                static_cast<long long>(orders), KindOfOrders(o.all));
    return kExitOk;
  }

  Archiver archiver(Env::Default());
  std::unique_ptr<ProgressLine> progress;
  if (ProgressLine::StderrIsTerminal()) {
    // The deletion pass reports 0 once the list is built: only then is its
    // length known.
    archiver.set_progress([&](int64_t done) {
      if (done == 0) {
        progress =
            std::make_unique<ProgressLine>("archive", CountListRows(*database), "orders", true);
      }
      if (progress) progress->Update(static_cast<uint64_t>(done));
    });
  }
  const int32_t result = o.all ? archiver.archiveNowAll(database, *lpc, *end)
                               : archiver.archiveNow(database, *lpc, *end);
  if (progress) progress->Finish();

  if (result == kResultRefused) {
    return Fail("archive: the LPC date must lie at least one day after the end date", kExitRefused);
  }
  if (result != kResultDone) return kExitFailure;
  std::printf("%lld %s removed (last activity before %s)\n",
              static_cast<long long>(CountListedOrders(*database)), KindOfOrders(o.all),
              IsoDateTimeText(*end).c_str());
  return kExitOk;
}

}  // namespace

Runner SetupArchive(CLI::App* cmd) {
  auto o = std::make_shared<ArchiveOptions>();
  cmd->description(kArchiveDescription);
  cmd->footer(kArchiveFooter);
  cmd->add_option("FRONT", o->front_end, "The host's front-end database (linked tables)")
      ->type_name("FILE")
      ->required();
  cmd->add_option("--end", o->end_text,
                  "End date: orders active on or after it, or required or expected after it, "
                  "stay")
      ->type_name("DATE")
      ->required();
  cmd->add_option("--lpc", o->lpc_text,
                  "Last period close date: must lie at least one day after --end")
      ->type_name("DATE")
      ->required();
  cmd->add_flag("--all", o->all, "Remove orders of any status, not only closed and archived ones");
  cmd->add_flag("--dry-run", o->dry_run,
                "Only build the list (the work table then holds it) and print it; delete nothing");
  return [o] { return RunArchive(*o); };
}

}  // namespace kestle::cli
