// A forward-only stream over the rows of one query, read from the engine a
// row at a time: only the current row is held, so memory stays flat however
// many rows the query yields. For tools that print whole results.
#ifndef KESTLE_DB_SQLITE_ROW_STREAM_H_
#define KESTLE_DB_SQLITE_ROW_STREAM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3_stmt;

namespace kestle::db {

struct Connection;

class RowStream {
 public:
  // The kind of a cell of the current row. A blob reads as text (its bytes).
  enum class Kind { kNull, kInteger, kReal, kText };

  // Streams the rows of `stmt` (a prepared statement that yields rows, owned
  // from now on) on `conn`; failures carry `detail`.
  RowStream(std::shared_ptr<Connection> conn, sqlite3_stmt* stmt, std::string detail);
  ~RowStream();
  RowStream(const RowStream&) = delete;
  RowStream& operator=(const RowStream&) = delete;

  // The column names, in the query's order.
  const std::vector<std::string>& columns() const { return columns_; }

  // Makes the next row current; false after the last one. Throws the
  // statement's error in DAO's terms when reading fails.
  bool Next();

  // The current row's cell in column `c` (0 <= c < columns().size()). The
  // text stays valid until the next call to Next.
  Kind kind(int c) const;
  int64_t integer(int c) const;
  double real(int c) const;
  std::string_view text(int c) const;

 private:
  std::shared_ptr<Connection> conn_;
  sqlite3_stmt* stmt_;  // finalized with the stream
  std::string detail_;
  std::vector<std::string> columns_;
  bool done_ = false;
};

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_ROW_STREAM_H_
