// Backup timings: SnapshotCopy of a sample back-end beside `cp`, for a small
// and a large back-end, each in three states:
//  - clean: the file alone, no log beside it;
//  - log: a writer keeps its last commits in the -wal file (a connection
//    still open, its automatic checkpoints off), as during a job;
//  - pinned log: the same, and a reader in an older state keeps anyone from
//    checkpointing the log;
//  - written log: the writer then checkpoints, as its automatic checkpoints
//    do, so the log is all in the file but keeps its size while the writer
//    stays.
// Each run copies a fresh working copy of the sample; the best of RUNS is
// shown beside `cp` of the file alone and, where a log exists, `cp` of the
// file and its log, and beside the same `cp`s followed by `sync` of the
// copies and their folder (as durable as the backup). The `cp` times are net
// of starting the commands. Every snapshot is checked: one file,
// integrity_check ok, the working copy's contents.
//
// Usage: backup_bench [DIR] [RUNS] [ORDERS...]
//   (defaults: a new temp folder, 5, 20000 and 200000 orders: ~10 and ~100 MiB)
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/sqlite/sample_database.h"
#include "db/sqlite/snapshot.h"
#include "platform/env.h"
#include "platform/error.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

sqlite3* Open(const std::string& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) Fail("open " + file);
  sqlite3_busy_timeout(db, 10000);
  return db;
}

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail(sql + ": " + sqlite3_errmsg(db));
  }
}

std::string Scalar(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) Fail(sql);
  std::string v;
  if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
    v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  sqlite3_finalize(st);
  return v;
}

// What a copy must hold: a digest of the table that the log's commits change.
constexpr const char* kDigest =
    "SELECT count(*) || '/' || total(Quantity) FROM [inventory transactions]";
// The commits left in the log: three batches, each changing 3% of the
// transactions (a range of them, so about 3% of the table's pages).
std::string LogCommit(int k) {
  return "UPDATE [inventory transactions] SET Quantity = Quantity + 1 WHERE TransactionID * 100 / "
         "(SELECT max(TransactionID) FROM [inventory transactions]) BETWEEN " +
         std::to_string(3 * k) + " AND " + std::to_string(3 * k + 2);
}

double TimedShell(const std::string& command) {
  const auto t = Clock::now();
  if (std::system(command.c_str()) != 0) Fail(command);
  return Seconds(t);
}

// The best time of a command, and that of the same command on an empty
// file: the difference leaves out starting the command, which the snapshot,
// called in the process, does not pay.
struct Peer {
  double full = 1e9, empty = 1e9;
  void Time(const std::string& command, const std::string& on_empty) {
    full = std::min(full, TimedShell(command));
    empty = std::min(empty, TimedShell(on_empty));
  }
  double Net() const { return std::max(full - empty, 1e-4); }
};

// Best times of one state.
struct Timings {
  double snapshot = 1e9;
  Peer cp, cp_log, cp_sync, cp_log_sync;
  double file_mib = 0, log_mib = 0;
};

enum class State { kClean, kLog, kPinnedLog, kWrittenLog };
constexpr const char* kStateNames[] = {"clean", "log", "pinned log", "written log"};

// One run: a working copy of `sample` in `state`, copied by `cp` and by
// SnapshotCopy, the snapshot checked.
void Run(kestle::Env& env, const std::string& sample, const std::string& dir, State state,
         Timings& best) {
  const std::string work = dir + "/work.db", cp_dir = dir + "/cp", snap = dir + "/snap.db";
  std::filesystem::remove_all(cp_dir);
  std::filesystem::create_directory(cp_dir);
  for (const char* f : {"", "-wal", "-shm"}) std::filesystem::remove(work + f);
  std::filesystem::remove(snap);
  std::filesystem::copy_file(sample, work);
  sqlite3* writer = nullptr;
  sqlite3* reader = nullptr;
  if (state != State::kClean) {
    writer = Open(work);
    Exec(writer, "PRAGMA wal_autocheckpoint=0");
    if (state == State::kPinnedLog) {
      reader = Open(work);
      Exec(reader, "BEGIN; SELECT count(*) FROM Status");
    }
    for (int k = 0; k < 3; ++k) Exec(writer, LogCommit(k));
    if (state == State::kWrittenLog) Exec(writer, "PRAGMA wal_checkpoint(PASSIVE)");
  }
  const std::string expected = [&] {
    sqlite3* db = Open(work);
    std::string d = Scalar(db, kDigest);
    sqlite3_close(db);
    return d;
  }();
  const bool has_log =
      std::filesystem::exists(work + "-wal") && std::filesystem::file_size(work + "-wal") > 0;
  best.file_mib = std::filesystem::file_size(work) / 1048576.0;
  best.log_mib = has_log ? std::filesystem::file_size(work + "-wal") / 1048576.0 : 0;

  const std::string empty = cp_dir + "/empty";
  std::fclose(std::fopen(empty.c_str(), "w"));
  const std::string cp_empty = "cp '" + empty + "' '" + cp_dir + "/e'";
  const std::string cp = "cp '" + work + "' '" + cp_dir + "/f'";
  const std::string cp_log = "cp '" + work + "' '" + work + "-wal' '" + cp_dir + "/'";
  // As durable as the backup: the copies and their folder synced.
  const std::string sync = " && sync '" + cp_dir + "'/* '" + cp_dir + "'";
  // The working copy on disk first, as a back-end in use mostly is, so that
  // no copy pays for writing back the preparation's pages.
  if (std::system(("sync '" + work + "'*").c_str()) != 0) Fail("sync");
  best.cp.Time(cp, cp_empty);
  best.cp_sync.Time(cp + sync, cp_empty + sync);
  if (has_log) {
    best.cp_log.Time(cp_log, cp_empty);
    best.cp_log_sync.Time(cp_log + sync, cp_empty + sync);
  }
  const auto t = Clock::now();
  kestle::db::SnapshotCopy(env, work, snap);
  best.snapshot = std::min(best.snapshot, Seconds(t));

  if (reader) sqlite3_close(reader);
  if (writer) sqlite3_close(writer);
  if (std::filesystem::exists(snap + "-wal")) Fail("a log beside the snapshot");
  sqlite3* copy = Open(snap);
  const std::string check = Scalar(copy, "PRAGMA integrity_check");
  const std::string got = Scalar(copy, kDigest);
  sqlite3_close(copy);
  if (check != "ok" || got != expected) {
    Fail("snapshot differs: " + check + ", " + got + " instead of " + expected);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  if (argc > 1) {
    dir = argv[1];
  } else {
    char tmpl[] = "/tmp/kestle_backup_bench_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    dir = tmpl;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<long long> sizes;
  for (int i = 3; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
  if (sizes.empty()) sizes = {20000, 200000};
  kestle::Env* env = kestle::Env::Default();

  try {
    for (long long orders : sizes) {
      // The sample stays in DIR for later runs: the generator is deterministic.
      const std::string sample_dir = dir + "/sample-" + std::to_string(orders);
      const std::string sample = sample_dir + "/" + kestle::db::kSampleBackEndName;
      if (!std::filesystem::exists(sample)) {
        std::filesystem::create_directories(sample_dir);
        kestle::db::WriteSampleDatabase(sample_dir, orders);
      }
      for (State state : {State::kClean, State::kLog, State::kPinnedLog, State::kWrittenLog}) {
        Timings best;
        for (int r = 0; r < runs; ++r) Run(*env, sample, dir, state, best);
        const double t = best.snapshot;
        std::printf("%lld orders, %s (%.1f MiB + %.1f MiB log): snapshot %.3f s; cp %.3f s (%.2fx)",
                    orders, kStateNames[static_cast<int>(state)], best.file_mib, best.log_mib, t,
                    best.cp.Net(), t / best.cp.Net());
        if (best.log_mib > 0) {
          std::printf("; cp with log %.3f s (%.2fx)", best.cp_log.Net(), t / best.cp_log.Net());
        }
        std::printf("; cp+sync %.3f s (%.2fx)", best.cp_sync.Net(), t / best.cp_sync.Net());
        if (best.log_mib > 0) {
          std::printf("; cp with log+sync %.3f s (%.2fx)", best.cp_log_sync.Net(),
                      t / best.cp_log_sync.Net());
        }
        std::printf("\n");
      }
    }
    return 0;
  } catch (const kestle::RuntimeError& e) {
    std::fprintf(stderr, "error %d: %s (%s)\n", e.number(), e.description().c_str(),
                 e.detail().c_str());
    return 1;
  }
}
