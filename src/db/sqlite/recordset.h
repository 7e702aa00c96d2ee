// Record sets: rows held compactly, and the forward-only record sets on a
// query or a table.
#ifndef KESTLE_DB_SQLITE_RECORDSET_H_
#define KESTLE_DB_SQLITE_RECORDSET_H_

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/sqlite/connection.h"

namespace kestle::db {

// Rows held compactly (one tag byte and the value per field), so that a
// materialized query of a million rows costs tens of megabytes, not hundreds.
class RowBuffer {
 public:
  void Clear() {
    data_.clear();
    rows_.clear();
  }
  size_t size() const { return rows_.size(); }

  // Appends the current row of `stmt`, columns first_col and after.
  void AddRow(sqlite3_stmt* stmt, int first_col) {
    rows_.push_back(data_.size());
    int n = sqlite3_column_count(stmt);
    for (int c = first_col; c < n; ++c) {
      int type = sqlite3_column_type(stmt, c);
      data_.push_back(static_cast<char>(type));
      if (type == SQLITE_INTEGER) {
        int64_t v = sqlite3_column_int64(stmt, c);
        Put(&v, sizeof v);
      } else if (type == SQLITE_FLOAT) {
        double v = sqlite3_column_double(stmt, c);
        Put(&v, sizeof v);
      } else if (type != SQLITE_NULL) {
        const void* p = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(stmt, c))
                                            : sqlite3_column_blob(stmt, c);
        uint32_t len = static_cast<uint32_t>(sqlite3_column_bytes(stmt, c));
        Put(&len, sizeof len);
        Put(p, len);
      }
    }
  }

  Value Get(size_t row, int col) const {
    size_t at = rows_[row];
    for (int c = 0;; ++c) {
      int type = data_[at++];
      size_t payload = 0;
      if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        payload = 8;
      } else if (type != SQLITE_NULL) {
        uint32_t len;
        std::memcpy(&len, &data_[at], sizeof len);
        at += sizeof len;
        payload = len;
      }
      if (c == col) {
        if (type == SQLITE_INTEGER) {
          int64_t v;
          std::memcpy(&v, &data_[at], sizeof v);
          return Value(v);
        }
        if (type == SQLITE_FLOAT) {
          double v;
          std::memcpy(&v, &data_[at], sizeof v);
          return Value(v);
        }
        if (type == SQLITE_NULL) return Value();
        return Value(std::string(&data_[at], payload));
      }
      at += payload;
    }
  }

 private:
  void Put(const void* p, size_t n) {
    if (n > 0) data_.append(static_cast<const char*>(p), n);
  }
  std::string data_;
  std::vector<size_t> rows_;
};

// A record set on the rows of a prepared query, read in full now.
std::shared_ptr<Recordset> QueryRecordset(std::shared_ptr<Connection> conn, StatementPtr query,
                                          std::string detail);

// A record set on `table`, read through `page` ("SELECT _rowid_, * ... WHERE
// _rowid_ > ?1 ORDER BY _rowid_ LIMIT ?2") a page at a time.
std::shared_ptr<Recordset> TableRecordset(std::shared_ptr<Connection> conn, StatementPtr page,
                                          std::string detail, std::string table);

// The definition of table `name`, linked through `connect` ("" for a local
// table).
std::shared_ptr<TableDef> MakeTableDef(std::string name, std::string connect);

}  // namespace kestle::db

#endif  // KESTLE_DB_SQLITE_RECORDSET_H_
