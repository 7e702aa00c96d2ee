// The engine's prepared-statement cache: action statements kept prepared by
// the shape of their Jet text, so that statements differing only in their
// string literals are translated and prepared once.
#ifndef KESTLE_DB_SQLITE_STATEMENT_CACHE_H_
#define KESTLE_DB_SQLITE_STATEMENT_CACHE_H_

#include <sqlite3.h>

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

namespace kestle::db {

// An owned prepared statement.
using StatementPtr = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

inline StatementPtr NoStatement() { return StatementPtr(nullptr, &sqlite3_finalize); }

// Prepared action statements by the shape of their Jet text (string literals
// lifted into parameters, see LiftStringLiterals), so that the archive run's
// hundreds of thousands of statements that differ only in an order number are
// translated and prepared once. A shape whose lifted form does not prepare (a
// literal where SQLite wants a name) is remembered with no statement, so that
// such text goes the plain way every time. The least recently used shape
// goes when the cache is full.
class StatementCache {
 public:
  struct Entry {
    StatementPtr stmt = NoStatement();
    // The tables the statement writes (see Connection::prepared_writes).
    std::set<std::string> writes;
    uint64_t last_use = 0;
  };

  // The entry of `shape`, or nullptr when it is not cached.
  Entry* Find(const std::string& shape) {
    auto it = entries_.find(shape);
    if (it == entries_.end()) return nullptr;
    it->second.last_use = ++clock_;
    return &it->second;
  }

  // Adds the entry of `shape` (not cached yet), evicting the least recently
  // used one when the cache is full.
  Entry* Add(const std::string& shape, StatementPtr stmt, std::set<std::string> writes) {
    assert(entries_.find(shape) == entries_.end());
    if (entries_.size() >= kCapacity) {
      auto oldest = std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
        return a.second.last_use < b.second.last_use;
      });
      entries_.erase(oldest);
    }
    assert(entries_.size() < kCapacity);
    Entry& e = entries_[shape];
    e.stmt = std::move(stmt);
    e.writes = std::move(writes);
    e.last_use = ++clock_;
    return &e;
  }

  void Clear() { entries_.clear(); }

 private:
  // Enough for every statement shape of one job.
  static constexpr size_t kCapacity = 64;
  std::unordered_map<std::string, Entry> entries_;
  uint64_t clock_ = 0;
};

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_STATEMENT_CACHE_H_
