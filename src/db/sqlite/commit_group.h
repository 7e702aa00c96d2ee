// Grouped commits of the action statements that run outside any transaction.
//
// The archive sends hundreds of thousands of single-row statements, each its
// own implicit transaction; a commit per statement costs several times the
// statement itself. The engine instead keeps one transaction open across
// statements and runs each statement inside a savepoint of it: a statement
// still succeeds or fails as a whole, a failing one is undone alone and those
// before it stay. The open group is committed
//  - once it holds kGroupStatements statements or is kGroupMillis old,
//    checked as each statement arrives;
//  - before anything else reads through any connection of the process (a
//    record set or query opens, the table definitions are read, a new
//    connection opens), before a snapshot copy, when the database closes,
//    and right after a statement fails;
//  - when a statement would have to wait for another connection's lock: a
//    connection holding a group never waits (that could deadlock two
//    processes each holding one file); it commits, then waits and retries.
// A group left open while its connection runs nothing more is committed by a
// thread of the engine's within about one and a half kGroupMillis, and every
// open group when the process exits normally. After a commit by age the
// connection keeps off the locks for kYieldMillis, long enough for another
// kestle process, whose busy handler retries every millisecond, to take its
// turn: a writer waiting on a grouping connection gets in within about
// kGroupMillis.
//
// Durability: a crash or kill loses at most the open group, that is, the
// statements of the last kGroupMillis; what stays is always a committed
// prefix of the statements in the order they ran, never part of one. When
// SQLite abandons the whole transaction (a full disk, an I/O error) or the
// commit fails, the failure says how many earlier statements were lost with
// it, so that none is claimed done that is not.
#ifndef KESTLE_DB_SQLITE_COMMIT_GROUP_H_
#define KESTLE_DB_SQLITE_COMMIT_GROUP_H_

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "db/sqlite/statement_cache.h"
#include "platform/error.h"

namespace kestle::db {

struct Connection;

inline constexpr int64_t kGroupStatements = 20000;
inline constexpr int kGroupMillis = 100;
inline constexpr int kYieldMillis = 2;

// The state of a connection's open group. The connection's thread and the
// process's committer thread (which commits groups left idle) share it under
// `mutex`; `open` and `statements` may also be read without it.
struct CommitGroup {
  using Clock = std::chrono::steady_clock;
  std::mutex mutex;
  // A transaction of the group is open.
  std::atomic<bool> open = false;
  // Statements that ran in it so far.
  std::atomic<int64_t> statements = 0;
  Clock::time_point opened;
  // Set while the engine runs its own transaction statements, which the
  // authorizer lets through only then.
  std::atomic<bool> internal = false;
  // The failure of a commit made on another's behalf (the committer thread,
  // CommitAllGroups), thrown by the connection's next use.
  std::optional<RuntimeError> failed;
  // The savepoint statements, prepared once.
  StatementPtr savepoint = NoStatement();
  StatementPtr release = NoStatement();
};

// Runs the prepared action statement `stmt` as one statement of the group:
// done in full or not at all. On failure `error_of` is called right after the
// step, while SQLite still holds the statement's error, and what it returns
// is thrown after the statement is undone and the group committed. `stmt` is
// reset before returning.
void StepInGroup(Connection& conn, sqlite3_stmt* stmt,
                 const std::function<RuntimeError()>& error_of);

// Commits the open group, if any. Throws the commit's failure, which names
// the statements lost with it.
void CommitGroupNow(Connection& conn);

// Commits the open groups of every connection of this process, before
// another connection reads the files; failures are left to the next use of
// each connection, which reports them. Not while holding a group's mutex.
void CommitAllGroups();

// Registers and forgets a connection for CommitAllGroups and for the
// committer thread, which commits a group left open kGroupMillis (the
// connection's thread running no statement meanwhile) within about
// kGroupMillis more, and every open group when the process exits.
void RegisterConnection(Connection* conn);
void ForgetConnection(Connection* conn);

// The busy handler of every engine connection: waits up to the engine's busy
// timeout, retrying every millisecond, unless the connection holds a group.
int BusyWait(void* conn, int count);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_COMMIT_GROUP_H_
