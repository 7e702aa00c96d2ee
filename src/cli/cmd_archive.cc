// The `kestle archive` command: Archiver.archiveNow / archiveNowAll on a host
// database, or with --dry-run only the list of orders a run would remove.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/archive_report.h"
#include "cli/cli.h"
#include "cli/witness.h"
#include "component/archiver.h"
#include "component/result_codes.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/ascii.h"
#include "platform/date.h"
#include "platform/env.h"

namespace kestle::cli {
namespace {

constexpr const char* kArchiveDescription =
    "Remove finished orders, with their inventory transactions, from a host database.\n"
    "\n"
    "The run fills the work table Archiver_ListToDelete with the numbers of the\n"
    "purchase, sales and work orders that have inventory transactions (closed or\n"
    "archived ones only, unless --all), then takes out again every number whose\n"
    "latest transaction lies on or after the end date, every purchase order required\n"
    "after it and every sales order expected (ETA) after it. Then, for each listed\n"
    "number, it deletes the purchase order AND the sales order (or work order) that\n"
    "carry that number, with their inventory transactions: a purchase order and a\n"
    "sales order that share a number go together, even when only one of them is\n"
    "finished. --dry-run marks such numbers \"purchase AND sales order\".\n"
    "\n"
    "Before deleting, the run prints the files it changes; on a terminal it asks\n"
    "before it deletes (--yes does not ask). Nothing is copied anywhere: take a\n"
    "backup first (--backup, or kestle backup). No transaction encloses the run; an\n"
    "error leaves what ran before it in place. One archive (or dry run) at a time\n"
    "runs on a front-end: a second one is refused while the lock file\n"
    "FRONT.kestle-lock is held.\n";

constexpr const char* kArchiveFooter =
    "DATE is read as a date literal between # in a query: YYYY-MM-DD or M/D/YYYY\n"
    "(a two-digit year means 1930-2029), optionally followed by a time of day\n"
    "(\"HH:MM[:SS]\", with AM or PM if wanted; \"T\" may join it to YYYY-MM-DD).\n"
    "The LPC date must lie at least one calendar day after the end date.\n"
    "Exit codes: 0 done; 1 a run-time error (shown as \"TITLE: N: DESCRIPTION\" on\n"
    "stderr, then the statement or file that failed), another archive running on\n"
    "FRONT, a failed --backup or a question not answered yes; 2 usage error; 3 dates\n"
    "refused (nothing was changed).";

// The label of the backup that --backup takes.
constexpr const char* kBackupLabel = "before archive";

struct ArchiveOptions {
  std::string front_end;
  std::string end_text;
  std::string lpc_text;
  bool all = false;
  bool dry_run = false;
  bool yes = false;
  bool backup = false;
};

const char* KindOfOrders(bool all) {
  return all ? "orders of any status" : "closed and archived orders";
}

void PrintChangedFiles(db::Database& database, const std::string& front_end, const char* verb) {
  if (Quiet()) return;
  for (const std::string& file : FilesChangedByArchive(database, front_end)) {
    std::printf("%s %s\n", verb, file.c_str());
  }
  std::fflush(stdout);
}

// Asks on the terminal; true when the answer is y or yes.
bool Confirmed(const std::string& question) {
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  for (int c; (c = std::getchar()) != EOF && c != '\n';) {
    answer += ascii::FoldLower(static_cast<char>(c));
  }
  return answer == "y" || answer == "yes";
}

// The dry run: builds the list and prints it, deleting nothing.
int RunDry(const std::shared_ptr<db::SqliteDatabase>& database, const ArchiveOptions& o,
           const Date& lpc, const Date& end) {
  PrintChangedFiles(*database, o.front_end, "a run would delete from");
  Archiver().BuildArchiveList(database, lpc, end, !o.all);
  const ListedOrders listed = ReadListedOrders(*database, /*print=*/true);
  if (Quiet()) return kExitOk;
  std::printf(
      "%lld %s would be removed (%lld numbers listed, %lld of them both a purchase and a sales "
      "order; dry run, nothing was deleted)\n",
      static_cast<long long>(listed.orders), KindOfOrders(o.all),
      static_cast<long long>(listed.numbers), static_cast<long long>(listed.both));
  return kExitOk;
}

// The run: the files, the question, the backup, Archiver.archiveNow(All) and
// the count of the orders it removed.
int RunDelete(const std::shared_ptr<db::SqliteDatabase>& database, const ArchiveOptions& o,
              const Date& lpc, const Date& end) {
  PrintChangedFiles(*database, o.front_end, "deleting from");
  if (!o.yes && StdinIsTerminal()) {
    // The question needs the list's size, so the list is built once here and
    // once more by the run itself.
    Archiver().BuildArchiveList(database, lpc, end, !o.all);
    const ListedOrders listed = ReadListedOrders(*database, /*print=*/false);
    if (!Confirmed("Delete " + std::to_string(listed.orders) + " " + KindOfOrders(o.all) +
                   " with their inventory transactions?")) {
      return Fail("archive: nothing was deleted");
    }
  }
  if (o.backup && RunBackupJob(database, o.front_end, "", kBackupLabel) != kExitOk) {
    return Fail("archive: the backup failed; nothing was deleted");
  }

  Witness witness(Env::Default());
  Archiver archiver(&witness);
  std::unique_ptr<ProgressLine> progress;
  int64_t list_rows = 0, orders = 0;
  if (ProgressLine::StderrIsTerminal()) {
    // The deletion pass reports 0 once the list is built: only then is its
    // length known. It counts list rows (a number may be listed twice); the
    // line shows the share of the orders those rows name.
    archiver.set_progress([&](int64_t done) {
      if (done == 0) {
        const ListedOrders listed = ReadListedOrders(*database, /*print=*/false);
        list_rows = listed.list_rows;
        orders = listed.orders;
        progress = std::make_unique<ProgressLine>("archive", orders, "orders", true);
      }
      if (progress && list_rows > 0) {
        progress->Update(static_cast<uint64_t>(done * orders / list_rows));
      }
    });
  }
  // Counted around the run, so that the summary tells the orders that really
  // went. A table that cannot be counted makes the run itself fail.
  std::optional<int64_t> before;
  try {
    before = CountOrderRows(*database);
  } catch (const RuntimeError&) {
  }
  const std::shared_ptr<db::Database> watched = witness.Watch(database);
  const int32_t result =
      o.all ? archiver.archiveNowAll(watched, lpc, end) : archiver.archiveNow(watched, lpc, end);
  if (progress) progress->Finish();

  if (result == kResultRefused) return kExitRefused;
  if (result != kResultDone) {
    return witness.ReportFailure("archive: the run on " + o.front_end + " stopped");
  }
  if (Quiet()) return kExitOk;
  const std::string removed =
      before ? std::to_string(*before - CountOrderRows(*database)) + " " : std::string();
  std::printf("%s%s removed (last activity before %s)\n", removed.c_str(), KindOfOrders(o.all),
              IsoDateTimeText(end).c_str());
  return kExitOk;
}

int RunArchive(const ArchiveOptions& o) {
  const std::optional<Date> end = ParseDateText(o.end_text);
  const std::optional<Date> lpc = ParseDateText(o.lpc_text);
  if (!end) return Fail("archive: --end: not a date: '" + o.end_text + "'", kExitUsage);
  if (!lpc) return Fail("archive: --lpc: not a date: '" + o.lpc_text + "'", kExitUsage);
  constexpr const char* kRefused =
      "archive: the LPC date must lie at least one day after the end date";
  // The check that archiveNow makes first, made before anything else runs (a
  // dry run's list, the question, the backup).
  if (!Archiver::DatesAccepted(*lpc, *end)) return Fail(kRefused, kExitRefused);

  // Two runs on one front-end would share its one work table, each
  // rewriting the list that the other deletes by; the lock is held until
  // the run's summary is out.
  const std::unique_ptr<FileLock> lock = Env::Default()->LockFile(o.front_end);
  if (!lock) {
    return Fail("archive: another kestle archive is running on " + o.front_end +
                "; nothing was done (try again when it has finished)");
  }
  const std::shared_ptr<db::SqliteDatabase> database = db::OpenSqliteDatabase(o.front_end);
  if (o.dry_run) return RunDry(database, o, *lpc, *end);
  const int code = RunDelete(database, o, *lpc, *end);
  return code == kExitRefused ? Fail(kRefused, kExitRefused) : code;
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
  CLI::Option* dry_run = cmd->add_flag(
      "--dry-run", o->dry_run,
      "Only build the list (the work table then holds it) and print it; delete nothing");
  cmd->add_flag("--yes", o->yes, "Do not ask before deleting (asked only on a terminal)");
  cmd->add_flag("--backup", o->backup,
                "Back up the back-end first (as kestle backup; into \"Backup\" beside it) and "
                "stop if that fails")
      ->excludes(dry_run);
  return [o] {
    try {
      return RunArchive(*o);
    } catch (...) {
      return ReportCurrentError(o->front_end);
    }
  };
}

}  // namespace kestle::cli
