// The forward-only record sets on a query or a table (recordset.h).
#include "db/sqlite/recordset.h"

#include <cassert>

#include "db/jet_errors.h"
#include "platform/ascii.h"

namespace kestle::db {

namespace {

// Rows fetched at a time by a record set on a table.
constexpr int kTablePageRows = 1024;
// Rows fetched at a time by a record set on a table after its table changed.
constexpr int kRefreshRows = 16;

// A forward-only record set. A query's rows are read in full when it opens; a
// table is read a page at a time by rowid, each page in its own short read,
// so that no read stays open while Execute changes tables (it would hold back
// WAL checkpoints) and memory stays flat however long the table. When a
// statement has written the table since the page was read, moving on reads
// afresh from the current row, so that the walk passes over the rows deleted
// meanwhile and shows changed rows as they are now, wherever the page ends.
class SqliteRecordset : public Recordset {
 public:
  // A record set on the rows of a prepared query.
  SqliteRecordset(std::shared_ptr<Connection> conn, StatementPtr query, std::string detail)
      : conn_(std::move(conn)), detail_(std::move(detail)), page_(NoStatement()) {
    ReadNames(query.get(), 0);
    ReadRows(query.get(), 0, -1);
  }

  // A record set on a table, read through `page` ("SELECT _rowid_, * ...
  // WHERE _rowid_ > ?1 ORDER BY _rowid_ LIMIT ?2").
  struct TablePages {};
  SqliteRecordset(std::shared_ptr<Connection> conn, StatementPtr page, std::string detail,
                  std::string table, TablePages)
      : conn_(std::move(conn)),
        detail_(std::move(detail)),
        page_(std::move(page)),
        table_(ascii::Lower(std::move(table))) {
    ReadNames(page_.get(), 1);
    FetchPage(kTablePageRows);
  }

  bool Eof() override { return current_ >= rows_.size(); }

  void MoveFirst() override {
    if (Eof()) ThrowEngine(jet::kNoCurrentRecord, detail_);
    if (!page_ || (first_page_ && !TableChanged())) {
      current_ = 0;
      return;
    }
    last_rowid_ = INT64_MIN;
    FetchPage(kTablePageRows);
  }

  void MoveNext() override {
    if (Eof()) ThrowEngine(jet::kNoCurrentRecord, detail_);
    if (page_ && TableChanged()) {
      assert(current_ < rowids_.size());
      // Few rows at a time: a walk that changes its table at every row would
      // otherwise read a whole page per row.
      last_rowid_ = rowids_[current_];
      FetchPage(kRefreshRows);
      return;
    }
    ++current_;
    if (current_ == rows_.size() && page_ && !exhausted_) FetchPage(kTablePageRows);
  }

  Value Field(const std::string& name) override {
    if (Eof()) ThrowEngine(jet::kNoCurrentRecord, detail_);
    for (size_t c = 0; c < names_.size(); ++c) {
      if (ascii::EqualsNoCase(names_[c], name)) return rows_.Get(current_, static_cast<int>(c));
    }
    ThrowEngine(jet::kItemNotFound, name);
  }

 private:
  void ReadNames(sqlite3_stmt* stmt, int first_col) {
    for (int c = first_col; c < sqlite3_column_count(stmt); ++c) {
      names_.emplace_back(sqlite3_column_name(stmt, c));
    }
  }

  // Steps `stmt` to its end or `limit` rows, adding the rows to rows_. Returns
  // the rows read; for a page, remembers the last rowid.
  int ReadRows(sqlite3_stmt* stmt, int first_col, int limit) {
    int n = 0, rc = SQLITE_DONE;
    while ((limit < 0 || n < limit) && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      rows_.AddRow(stmt, first_col);
      if (first_col > 0) {
        last_rowid_ = sqlite3_column_int64(stmt, 0);
        rowids_.push_back(last_rowid_);
      }
      ++n;
    }
    if (limit < 0 || n < limit) {
      if (rc != SQLITE_DONE) {
        RuntimeError e = StatementError(*conn_, detail_);
        sqlite3_reset(stmt);
        throw e;
      }
    }
    return n;
  }

  // True when a statement that writes the table ran since the page was read.
  bool TableChanged() const {
    auto it = conn_->last_write.find(table_);
    return it != conn_->last_write.end() && it->second > fetched_at_;
  }

  // Reads up to `limit` rows after last_rowid_ into the page.
  void FetchPage(int limit) {
    first_page_ = last_rowid_ == INT64_MIN;
    fetched_at_ = conn_->write_clock;
    rows_.Clear();
    rowids_.clear();
    current_ = 0;
    sqlite3_stmt* stmt = page_.get();
    // The previous page's read ended with its reset.
    assert(!sqlite3_stmt_busy(stmt));
    sqlite3_bind_int64(stmt, 1, last_rowid_);
    sqlite3_bind_int(stmt, 2, limit);
    int n = ReadRows(stmt, 1, limit);
    // Resetting ends the read, so no lock is held between pages.
    sqlite3_reset(stmt);
    exhausted_ = n < limit;
    assert(rowids_.size() == rows_.size());
  }

  std::shared_ptr<Connection> conn_;
  std::string detail_;
  StatementPtr page_;
  std::string table_;  // the table of a table record set, ASCII lower case
  std::vector<std::string> names_;
  RowBuffer rows_;
  std::vector<int64_t> rowids_;  // of the rows in rows_, for a table
  uint64_t fetched_at_ = 0;      // the connection's write_clock when the page was read
  size_t current_ = 0;
  int64_t last_rowid_ = INT64_MIN;
  bool exhausted_ = true;
  bool first_page_ = true;
};

class SqliteTableDef : public TableDef {
 public:
  SqliteTableDef(std::string name, std::string connect)
      : name_(std::move(name)), connect_(std::move(connect)) {}
  std::string Name() override { return name_; }
  std::string Connect() override { return connect_; }

 private:
  std::string name_;
  std::string connect_;
};

}  // namespace

std::shared_ptr<Recordset> QueryRecordset(std::shared_ptr<Connection> conn, StatementPtr query,
                                          std::string detail) {
  return std::make_shared<SqliteRecordset>(std::move(conn), std::move(query), std::move(detail));
}

std::shared_ptr<Recordset> TableRecordset(std::shared_ptr<Connection> conn, StatementPtr page,
                                          std::string detail, std::string table) {
  return std::make_shared<SqliteRecordset>(std::move(conn), std::move(page), std::move(detail),
                                           std::move(table), SqliteRecordset::TablePages{});
}

std::shared_ptr<TableDef> MakeTableDef(std::string name, std::string connect) {
  return std::make_shared<SqliteTableDef>(std::move(name), std::move(connect));
}

}  // namespace kestle::db
