// Archive and backup timings on a sample database of 200,000 orders (about a
// million inventory transactions), each beside a floor measured in the same
// run:
//  - archiveNow (the list built by its statements, then four DELETEs per
//    listed order, each sent on its own, outside any transaction, the engine
//    grouping their commits) against the same list
//    followed by four set-based DELETEs in one transaction on a copy of the
//    same database;
//  - backupNow with the snapshot copier against `cp` of the back-end file
//    (and its log), alone and followed by `sync` (see also backup_bench).
// Both archived copies must end with the same row counts.
//
// Usage: archive_bench [ORDERS] [DIR]   (defaults: 200000, a new temp folder)
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/archive_list.h"
#include "component/archiver.h"
#include "component/result_codes.h"
#include "db/sqlite/sample_database.h"
#include "db/sqlite/snapshot.h"
#include "db/sqlite/sqlite_database.h"
#include "platform/date.h"
#include "platform/env.h"
#include "platform/error.h"

namespace {

using kestle::Date;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

// Runs `sql` (several statements allowed) on a fresh connection to `file`.
void Exec(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db, "open");
  sqlite3_busy_timeout(db, 10000);
  Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
  sqlite3_close(db);
}

std::string Scalar(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db, "open");
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), db, sql.c_str());
  std::string v;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
    v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return v;
}

std::string Counts(const std::string& back_end) {
  return Scalar(back_end,
                "SELECT (SELECT count(*) FROM [purchase orders]) || ' purchase orders, ' || "
                "(SELECT count(*) FROM [sales orders]) || ' sales orders, ' || "
                "(SELECT count(*) FROM [inventory transactions]) || ' inventory transactions'");
}

// The deletion pass as four set-based statements in one transaction.
constexpr const char* kSetBasedDeletion =
    "BEGIN;"
    "DELETE FROM [inventory transactions] WHERE PurchaseOrderID IN "
    "  (SELECT OrderID FROM fe.Archiver_ListToDelete);"
    "DELETE FROM [purchase orders] WHERE PurchaseOrderID IN "
    "  (SELECT OrderID FROM fe.Archiver_ListToDelete);"
    "DELETE FROM [inventory transactions] WHERE SalesOrderID IN "
    "  (SELECT OrderID FROM fe.Archiver_ListToDelete);"
    "DELETE FROM [sales orders] WHERE SalesOrderID IN "
    "  (SELECT OrderID FROM fe.Archiver_ListToDelete);"
    "COMMIT;";

// The whole run set-based in one transaction: the closed-only list built and
// pruned by a few statements (the same rules as fillArchiveList, in SQLite's
// dialect), then the deletion above. Run on the back-end with the front-end
// attached as fe.
constexpr const char* kFinished =
    "(SELECT StatusId FROM Status WHERE upper(Status) IN ('CLOSED', 'ARCHIVED'))";
std::string SetBasedRun(const std::string& end) {
  const std::string finished = kFinished;
  return "BEGIN;"
         "DELETE FROM fe.Archiver_ListToDelete;"
         "INSERT INTO fe.Archiver_ListToDelete SELECT t.PurchaseOrderID, max(t.TransactionDate) "
         "  FROM [purchase orders] o JOIN [inventory transactions] t "
         "  ON o.PurchaseOrderID = t.PurchaseOrderID WHERE o.StatusId IN " +
         finished +
         "  GROUP BY t.PurchaseOrderID;"
         "INSERT INTO fe.Archiver_ListToDelete SELECT t.SalesOrderID, max(t.TransactionDate) "
         "  FROM [inventory transactions] t JOIN [sales orders] o "
         "  ON t.SalesOrderID = o.SalesOrderID WHERE o.StatusId IN " +
         finished +
         "  GROUP BY t.SalesOrderID;"
         "INSERT INTO fe.Archiver_ListToDelete SELECT SalesOrderID, max(TransactionDate) "
         "  FROM [inventory transactions] WHERE SalesOrderID >= 'WO' AND SalesOrderID < 'WP' "
         "  AND SalesOrderID IN (SELECT SalesOrderID FROM [sales orders] WHERE StatusId IN " +
         finished +
         ") GROUP BY SalesOrderID;"
         "DELETE FROM fe.Archiver_ListToDelete WHERE OrderID IN (SELECT t.PurchaseOrderID "
         "  FROM [purchase orders] o JOIN [inventory transactions] t "
         "  ON o.PurchaseOrderID = t.PurchaseOrderID WHERE o.StatusId IN " +
         finished + "  AND t.DateRequired > '" + end +
         "');"
         "DELETE FROM fe.Archiver_ListToDelete WHERE OrderID IN (SELECT t.SalesOrderID "
         "  FROM [inventory transactions] t JOIN [sales orders] o "
         "  ON t.SalesOrderID = o.SalesOrderID WHERE o.StatusId IN " +
         finished + "  GROUP BY t.SalesOrderID HAVING max(t.ETA) > '" + end +
         "');"
         "DELETE FROM fe.Archiver_ListToDelete WHERE LastTransDate >= '" +
         end + "';" + std::string(kSetBasedDeletion + 6);  // the deletion without its BEGIN
}

}  // namespace

int main(int argc, char** argv) {
  const long long orders = argc > 1 ? std::atoll(argv[1]) : 200000;
  std::string dir;
  if (argc > 2) {
    dir = argv[2];
  } else {
    char tmpl[] = "/tmp/kestle_archive_bench_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    dir = tmpl;
  }
  const std::string a = dir + "/a", b = dir + "/b";
  std::system(("rm -rf '" + a + "' '" + b + "' && mkdir -p '" + a + "' '" + b + "'").c_str());
  kestle::Env* env = kestle::Env::Default();

  try {
    auto t = Clock::now();
    const kestle::db::SamplePaths sample = kestle::db::WriteSampleDatabase(a, orders);
    std::printf("sample: %lld orders written in %.2f s; %s\n", orders, Seconds(t),
                Counts(sample.back_end).c_str());

    // The floor's copy: the same files, its links pointing at its own back-end.
    std::system(("cp '" + a + "'/orders*.db '" + b + "'/").c_str());
    const std::string b_front = b + "/" + kestle::db::kSampleFrontEndName;
    const std::string b_back = b + "/" + kestle::db::kSampleBackEndName;
    Exec(b_front, "UPDATE kestle_links SET connect = ';DATABASE=" + b_back + "'");

    const Date lpc = kestle::MakeDate(2025, 7, 1), end = kestle::MakeDate(2025, 6, 30);

    // archiveNow, as the host calls it.
    kestle::Archiver archiver(env);
    Clock::time_point pass_start;
    archiver.set_progress([&](int64_t done) {
      if (done == 0) pass_start = Clock::now();
    });
    t = Clock::now();
    const int32_t result =
        archiver.archiveNow(kestle::db::OpenSqliteDatabase(sample.front_end), lpc, end);
    const double archive_s = Seconds(t), pass_s = Seconds(pass_start);
    if (result != kestle::kResultDone) return 1;
    const std::string listed =
        Scalar(sample.front_end, "SELECT count(*) FROM Archiver_ListToDelete");

    // The floor: the same list statements, then the set-based deletion.
    t = Clock::now();
    {
      auto database = kestle::db::OpenSqliteDatabase(b_front);
      kestle::archive::fillArchiveList(*database, end, /*closedOnly=*/true);
    }
    const double floor_list_s = Seconds(t);
    auto d = Clock::now();
    Exec(b_back, "ATTACH '" + b_front + "' AS fe;" + kSetBasedDeletion);
    const double floor_delete_s = Seconds(d), floor_s = Seconds(t);

    std::printf("archiveNow: %.2f s (list %.2f s, deletion pass %.2f s over %s list rows)\n",
                archive_s, archive_s - pass_s, pass_s, listed.c_str());
    std::printf("set-based floor: %.2f s (list %.2f s, 4 DELETEs in one transaction %.2f s)\n",
                floor_s, floor_list_s, floor_delete_s);
    std::printf("ratio archiveNow / floor: %.2fx (deletion pass alone: %.2fx)\n",
                archive_s / floor_s, pass_s / floor_delete_s);
    const std::string left_a = Counts(sample.back_end), left_b = Counts(b_back);
    std::printf("left after archiveNow: %s\nleft after floor:      %s%s\n", left_a.c_str(),
                left_b.c_str(), left_a == left_b ? "" : "   <-- MISMATCH");

    // The fully set-based run on a third, fresh sample (the generator is
    // deterministic, so it holds the same orders).
    const std::string c = dir + "/c";
    std::system(("rm -rf '" + c + "' && mkdir -p '" + c + "'").c_str());
    const kestle::db::SamplePaths fresh = kestle::db::WriteSampleDatabase(c, orders);
    const std::string c_front = fresh.front_end, c_back = fresh.back_end;
    t = Clock::now();
    Exec(c_back, "ATTACH '" + c_front + "' AS fe;" + SetBasedRun(kestle::IsoDateTimeText(end)));
    const double set_s = Seconds(t);
    const std::string left_c = Counts(c_back);
    std::printf(
        "fully set-based run (list and deletion in one transaction): %.2f s; "
        "ratio archiveNow / it: %.2fx%s\n",
        set_s, archive_s / set_s, left_c == left_a ? "" : "   <-- MISMATCH");

    // The backup of that back-end against a plain file copy (with its log,
    // when one holds frames), and against the copy synced to disk, as
    // durable as the backup.
    const std::string log = b_back + "-wal";
    const bool with_log = std::filesystem::exists(log) && std::filesystem::file_size(log) > 0;
    const std::string cp_copy = dir + "/cp_copy.db";
    // The archive's writes on disk first, so that no copy waits for them.
    std::system("sync");
    const std::string cp_command = "cp '" + b_back + "' '" + cp_copy + "'" +
                                   (with_log ? " && cp '" + log + "' '" + cp_copy + "-wal'" : "");
    t = Clock::now();
    std::system(cp_command.c_str());
    const double cp_s = Seconds(t);
    t = Clock::now();
    std::system((cp_command + " && sync '" + cp_copy + "'*  '" + dir + "'").c_str());
    const double cp_sync_s = Seconds(t);
    kestle::Archiver backup(env, [env](const std::string& from, const std::string& to) {
      kestle::db::SnapshotCopy(*env, from, to);
    });
    t = Clock::now();
    const int32_t backed =
        backup.backupNow(kestle::db::OpenSqliteDatabase(b_front), dir + "/backups", "bench");
    const double backup_s = Seconds(t);
    std::printf(
        "backupNow (snapshot): %.2f s; cp%s: %.2f s, ratio %.2fx; cp and sync: %.2f s, ratio "
        "%.2fx; back-end %.1f MiB%s\n",
        backup_s, with_log ? " of the file and its log" : "", cp_s, backup_s / cp_s, cp_sync_s,
        backup_s / cp_sync_s, env->FileSize(b_back) / 1048576.0,
        backed == kestle::kResultDone ? "" : "   <-- FAILED");
    return left_a == left_b && backed == kestle::kResultDone ? 0 : 1;
  } catch (const kestle::RuntimeError& e) {
    std::fprintf(stderr, "error %d: %s (%s)\n", e.number(), e.description().c_str(),
                 e.detail().c_str());
    return 1;
  }
}
