// The forward-only row stream of a query (row_stream.h).
#include "db/sqlite/row_stream.h"

#include <sqlite3.h>

#include "db/sqlite/connection.h"

namespace kestle::db {

RowStream::RowStream(std::shared_ptr<Connection> conn, sqlite3_stmt* stmt, std::string detail)
    : conn_(std::move(conn)), stmt_(stmt), detail_(std::move(detail)) {
  const int n = sqlite3_column_count(stmt_);
  columns_.reserve(n);
  for (int c = 0; c < n; ++c) columns_.emplace_back(sqlite3_column_name(stmt_, c));
}

RowStream::~RowStream() { sqlite3_finalize(stmt_); }

bool RowStream::Next() {
  if (done_) return false;
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  done_ = true;
  if (rc != SQLITE_DONE) {
    RuntimeError e = StatementError(*conn_, detail_);
    // Resetting ends the read, so that a failed stream holds no lock.
    sqlite3_reset(stmt_);
    throw e;
  }
  sqlite3_reset(stmt_);
  return false;
}

RowStream::Kind RowStream::kind(int c) const {
  switch (sqlite3_column_type(stmt_, c)) {
    case SQLITE_NULL:
      return Kind::kNull;
    case SQLITE_INTEGER:
      return Kind::kInteger;
    case SQLITE_FLOAT:
      return Kind::kReal;
    default:
      return Kind::kText;
  }
}

int64_t RowStream::integer(int c) const { return sqlite3_column_int64(stmt_, c); }

double RowStream::real(int c) const { return sqlite3_column_double(stmt_, c); }

std::string_view RowStream::text(int c) const {
  // A blob's bytes are taken as they are, without conversion to text.
  const bool blob = sqlite3_column_type(stmt_, c) == SQLITE_BLOB;
  const void* p = blob ? sqlite3_column_blob(stmt_, c)
                       : static_cast<const void*>(sqlite3_column_text(stmt_, c));
  const int n = sqlite3_column_bytes(stmt_, c);
  return p == nullptr ? std::string_view() : std::string_view(static_cast<const char*>(p), n);
}

}  // namespace kestle::db
