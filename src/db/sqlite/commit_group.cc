// Grouped commits of the engine's action statements (commit_group.h).
#include "db/sqlite/commit_group.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "db/sqlite/connection.h"

namespace kestle::db {
namespace {

using Clock = CommitGroup::Clock;

// The transaction statements of a group. BEGIN is deferred: each file is
// locked only when a statement first uses it, as autocommit would.
constexpr const char* kBegin = "BEGIN";
constexpr const char* kCommit = "COMMIT";
constexpr const char* kSavepoint = "SAVEPOINT kestle_statement";
constexpr const char* kRollbackTo = "ROLLBACK TO kestle_statement";
constexpr const char* kRelease = "RELEASE kestle_statement";
constexpr const char* kRollback = "ROLLBACK";

// How long a connection waits for another's lock, and between two tries.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kBusyRetryMs = 1;

// Runs one of the group's own transaction statements, which the authorizer
// refuses in any other statement. Returns SQLite's result code.
int RunControl(Connection& conn, const char* sql) {
  conn.group.internal = true;
  const int rc = sqlite3_exec(conn.db, sql, nullptr, nullptr, nullptr);
  conn.group.internal = false;
  return rc;
}

// Runs one of the group's own statements kept prepared in `slot`.
int RunPrepared(Connection& conn, StatementPtr& slot, const char* sql) {
  conn.group.internal = true;
  int rc = SQLITE_OK;
  if (!slot) {
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(conn.db, sql, -1, &raw, nullptr);
    slot.reset(raw);
  }
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(slot.get());
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
    sqlite3_reset(slot.get());
  }
  conn.group.internal = false;
  return rc;
}

// `e` with a note, after its detail, of the `lost` statements that were run
// before it and are undone with it.
RuntimeError WithLoss(RuntimeError e, int64_t lost) {
  if (lost > 0) {
    e.set_detail(e.detail() + "\n(" + std::to_string(lost) +
                 " statement(s) run before it since the last commit were undone with it)");
  }
  return e;
}

// Throws the failure of a commit that no caller could be told of yet.
void ThrowPendingFailure(CommitGroup& group) {
  if (!group.failed) return;
  RuntimeError e = std::move(*group.failed);
  group.failed.reset();
  throw e;
}

// Forgets the open group after SQLite ended its transaction.
void Closed(CommitGroup& group) {
  group.open = false;
  group.statements = 0;
}

// True when a failure with result code `rc` means that another connection's
// lock stood in the way, so that the statement may run once the group is
// committed.
bool IsLockConflict(int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; }

// CommitGroupNow with the group's mutex held.
void CommitLocked(Connection& conn) {
  CommitGroup& g = conn.group;
  ThrowPendingFailure(g);
  if (!g.open) return;
  const int64_t pending = g.statements;
  if (RunControl(conn, kCommit) == SQLITE_OK) {
    Closed(g);
    return;
  }
  RuntimeError e = SqliteError(conn.db, kCommit);
  if (!sqlite3_get_autocommit(conn.db)) RunControl(conn, kRollback);
  Closed(g);
  throw WithLoss(std::move(e), pending);
}

// Commits the group when it is full or old, keeping off the locks for a
// moment after a commit by age.
void CommitIfDue(Connection& conn) {
  CommitGroup& g = conn.group;
  if (!g.open) return;
  const bool old = Clock::now() - g.opened >= std::chrono::milliseconds(kGroupMillis);
  if (g.statements < kGroupStatements && !old) return;
  CommitLocked(conn);
  if (old) sqlite3_sleep(kYieldMillis);
}

// Runs `stmt` inside a savepoint of the open group. Returns SQLite's result
// code; on failure `*error` holds error_of()'s error and the statement is
// undone.
int StepOnce(Connection& conn, sqlite3_stmt* stmt, const std::function<RuntimeError()>& error_of,
             std::optional<RuntimeError>* error) {
  CommitGroup& g = conn.group;
  if (!g.open) {
    if (RunControl(conn, kBegin) != SQLITE_OK) ThrowSqlite(conn.db, kBegin);
    g.open = true;
    g.statements = 0;
    g.opened = Clock::now();
  }
  if (RunPrepared(conn, g.savepoint, kSavepoint) != SQLITE_OK) {
    RuntimeError e = WithLoss(SqliteError(conn.db, kSavepoint), g.statements);
    if (sqlite3_get_autocommit(conn.db)) Closed(g);
    throw e;
  }
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt);
    if (RunPrepared(conn, g.release, kRelease) != SQLITE_OK) ThrowSqlite(conn.db, kRelease);
    ++g.statements;
    return rc;
  }
  *error = error_of();
  // Resetting ends the statement, which the rollback needs.
  sqlite3_reset(stmt);
  if (sqlite3_get_autocommit(conn.db)) {
    // SQLite gave up the whole transaction: the group is lost.
    *error = WithLoss(std::move(**error), g.statements);
    Closed(g);
    return rc;
  }
  if (RunControl(conn, kRollbackTo) != SQLITE_OK ||
      RunPrepared(conn, g.release, kRelease) != SQLITE_OK) {
    const int64_t lost = g.statements;
    RunControl(conn, kRollback);
    Closed(g);
    *error = WithLoss(std::move(**error), lost);
  }
  return rc;
}

// Commits on another's behalf; a failure is kept for the connection's next
// use, whose caller ran the lost statements. The group's mutex is held.
void CommitForOwner(Connection& conn) {
  try {
    CommitLocked(conn);
  } catch (const RuntimeError& e) {
    conn.group.failed = e;
  }
}

// The process's registry of connections and its committer thread, which
// looks at the open groups every half kGroupMillis and commits those that
// their connections left open for kGroupMillis. It never waits for a
// connection's thread: a group in use is that thread's to commit.
class Committer {
 public:
  static Committer& Get() {
    static Committer* const committer = [] {
      static Committer c;
      // A child forked while the thread held the registry would find it
      // locked for ever, and the child has no committer thread.
      pthread_atfork([] { c.mutex_.lock(); }, [] { c.mutex_.unlock(); },
                     [] {
                       new (&c.thread_) std::thread();
                       c.mutex_.unlock();
                     });
      return &c;
    }();
    return *committer;
  }

  void Add(Connection* conn) {
    std::lock_guard<std::mutex> lock(mutex_);
    conns_.push_back(conn);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    wake_.notify_one();
  }

  void Remove(Connection* conn) {
    std::lock_guard<std::mutex> lock(mutex_);
    conns_.erase(std::remove(conns_.begin(), conns_.end(), conn), conns_.end());
  }

  void CommitAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Connection* conn : conns_) {
      std::lock_guard<std::mutex> group_lock(conn->group.mutex);
      CommitForOwner(*conn);
    }
  }

  // At exit: the groups that no one closed are committed.
  ~Committer() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    CommitAll();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      if (conns_.empty()) {
        wake_.wait(lock);
        continue;
      }
      wake_.wait_for(lock, std::chrono::milliseconds(kGroupMillis / 2));
      const Clock::time_point now = Clock::now();
      for (Connection* conn : conns_) {
        std::unique_lock<std::mutex> group_lock(conn->group.mutex, std::try_to_lock);
        if (group_lock && conn->group.open &&
            now - conn->group.opened >= std::chrono::milliseconds(kGroupMillis)) {
          CommitForOwner(*conn);
        }
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Connection*> conns_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

void StepInGroup(Connection& conn, sqlite3_stmt* stmt,
                 const std::function<RuntimeError()>& error_of) {
  std::lock_guard<std::mutex> lock(conn.group.mutex);
  ThrowPendingFailure(conn.group);
  CommitIfDue(conn);
  std::optional<RuntimeError> error;
  int rc = StepOnce(conn, stmt, error_of, &error);
  if (rc == SQLITE_DONE) return;
  // A statement stopped by another connection's lock while the group held
  // locks of its own: commit what ran, then wait for the lock as autocommit
  // would.
  if (IsLockConflict(rc) && conn.group.open && conn.group.statements > 0) {
    CommitLocked(conn);
    error.reset();
    rc = StepOnce(conn, stmt, error_of, &error);
    if (rc == SQLITE_DONE) return;
  }
  // A failure ends the group, so that no lock is held while it is reported
  // and the statements before it are kept as if each had committed alone.
  CommitLocked(conn);
  throw *error;
}

void CommitGroupNow(Connection& conn) {
  std::lock_guard<std::mutex> lock(conn.group.mutex);
  CommitLocked(conn);
}

void CommitAllGroups() { Committer::Get().CommitAll(); }

void RegisterConnection(Connection* conn) { Committer::Get().Add(conn); }

void ForgetConnection(Connection* conn) { Committer::Get().Remove(conn); }

int BusyWait(void* arg, int count) {
  auto* conn = static_cast<Connection*>(arg);
  if (conn->group.open && conn->group.statements > 0) return 0;
  if (count == 0) conn->busy_since = Clock::now();
  if (Clock::now() - conn->busy_since >= std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
  sqlite3_sleep(kBusyRetryMs);
  return 1;
}

}  // namespace kestle::db
