// The SQLite engine behind the Database interface: statement execution,
// queries and record sets over one connection. Opening is in open.cc, the
// back-end links in backends.cc, the SQL functions in sql_functions.cc.
#include "db/sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cassert>
#include <cctype>
#include <exception>
#include <optional>

#include "db/jet_errors.h"
#include "db/sqlite/authorizer.h"
#include "db/sqlite/backends.h"
#include "db/sqlite/commit_group.h"
#include "db/sqlite/connection.h"
#include "db/sqlite/jet_check.h"
#include "db/sqlite/jet_sql.h"
#include "db/sqlite/recordset.h"
#include "db/sqlite/typed_columns.h"
#include "platform/ascii.h"
#include "platform/error.h"

namespace kestle::db {

namespace {

// Encloses an SQLite identifier (a table name that may hold blanks).
constexpr char kIdentifierQuote = '"';

// SQLite's own tables are those whose names start with "sqlite_", the names
// from 'sqlite_' up to 'sqlite`' ('`' follows '_'); a range, because the
// authorizer lets no SQL function of SQLite's through.
constexpr const char* kListLocalTables =
    "SELECT name FROM main.sqlite_schema WHERE type = 'table' "
    "AND NOT (name >= 'sqlite_' AND name < 'sqlite`') AND name <> 'kestle_links' COLLATE NOCASE";

// The first word of a statement, or "" when it starts otherwise.
// Sets the connection's authorizer aside for the engine's own statements
// while it lives.
class AuthorizerPause {
 public:
  explicit AuthorizerPause(Connection& conn) : conn_(conn) {
    sqlite3_set_authorizer(conn_.db, nullptr, nullptr);
  }
  ~AuthorizerPause() { sqlite3_set_authorizer(conn_.db, JetStatementsOnly, &conn_); }
  AuthorizerPause(const AuthorizerPause&) = delete;
  AuthorizerPause& operator=(const AuthorizerPause&) = delete;

 private:
  Connection& conn_;
};

std::string FirstWord(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (ascii::IsSpace(text[i]) || text[i] == '(')) ++i;
  size_t start = i;
  while (i < text.size() && ascii::IsAlpha(text[i])) ++i;
  return ascii::Upper(text.substr(start, i - start));
}

// True when `source`, blanks around it aside, is one word of letters, digits
// and "_".
bool IsLoneWord(const std::string& source) {
  size_t b = source.find_first_not_of(" \t\r\n");
  size_t e = source.find_last_not_of(" \t\r\n");
  if (b == std::string::npos) return false;
  return std::all_of(source.begin() + b, source.begin() + e + 1,
                     [](char c) { return ascii::IsAlnum(c) || c == '_'; });
}

// A record-set source naming a table: the name itself, brackets removed.
std::string TableNameOf(const std::string& source) {
  size_t b = source.find_first_not_of(" \t\r\n");
  size_t e = source.find_last_not_of(" \t\r\n");
  std::string name = b == std::string::npos ? "" : source.substr(b, e - b + 1);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  return name;
}

// Commits the open groups of the process before a read, so that the read
// sees what every statement so far did; the failure of this connection's own
// group is thrown.
void CommitBeforeReading(Connection& conn) {
  CommitAllGroups();
  CommitGroupNow(conn);
}

}  // namespace

// Refuses `jet` unless it is a Jet statement (see jet_check.h); the error's
// detail is `shown`, the statement as its caller wrote it.
void CheckStatement(const std::string& jet, const std::string& shown) {
  try {
    CheckJetStatement(jet);
  } catch (const RuntimeError& e) {
    RuntimeError error = e;
    // A message that quotes part of the statement (a call with the wrong
    // count of arguments) quotes it as written, not with lifted literals.
    if (jet != shown) {
      try {
        CheckJetStatement(shown);
      } catch (const RuntimeError& as_written) {
        error = as_written;
      }
    }
    error.set_detail(shown);
    throw error;
  }
}

void CheckStatement(const std::string& jet) { CheckStatement(jet, jet); }

// --- SqliteDatabase ------------------------------------------------------------

SqliteDatabase::SqliteDatabase(std::shared_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

SqliteDatabase::~SqliteDatabase() = default;

const std::string& SqliteDatabase::path() const { return connection_->path; }

void SqliteDatabase::Commit() { CommitGroupNow(*connection_); }

void SqliteDatabase::Execute(const std::string& sql) {
  if (ExecuteCached(sql)) return;
  auto run = [&] {
    CheckStatement(sql);
    std::string translated = TranslateJetSql(sql);
    std::string detail = Detail(sql, translated);
    StatementPtr stmt = PrepareOne(*connection_, translated, detail);
    if (sqlite3_column_count(stmt.get()) > 0) ThrowEngine(jet::kCannotExecuteSelect, detail);
    connection_->NoteWrites(connection_->prepared_writes);
    StepInGroup(*connection_, stmt.get(), [&] { return StatementError(*connection_, detail); });
    records_affected_ = sqlite3_changes64(connection_->db);
  };
  std::string first = FirstWord(sql);
  if (first != "CREATE" && first != "ALTER" && first != "DROP") return run();
  // Table design: the typed columns' triggers step aside, since they name
  // columns that the change may drop, and follow the new design after it.
  bool had_triggers;
  {
    AuthorizerPause pause(*connection_);
    had_triggers = RemoveTypedColumnTriggers(connection_->db);
  }
  std::exception_ptr failure;
  try {
    run();
  } catch (...) {
    failure = std::current_exception();
  }
  if (!failure || had_triggers) {
    AuthorizerPause pause(*connection_);
    InstallTypedColumnTriggers(connection_->db);
  }
  if (failure) std::rethrow_exception(failure);
}

bool SqliteDatabase::ExecuteCached(const std::string& sql) {
  // Only action statements: elsewhere a literal may name something (a column
  // alias, a default value) where a parameter cannot stand.
  static constexpr const char* kCachedWords[] = {"DELETE", "INSERT", "UPDATE"};
  std::string first = FirstWord(sql);
  if (std::none_of(std::begin(kCachedWords), std::end(kCachedWords),
                   [&](const char* w) { return first == w; })) {
    return false;
  }
  std::optional<LiftedStatement> lifted = LiftStringLiterals(sql);
  if (!lifted) return false;
  Connection& conn = *connection_;
  StatementCache::Entry* entry = conn.statements.Find(lifted->shape);
  if (entry == nullptr) {
    // A shape's tokens are the statement's, its literals aside: a shape that
    // passed the check once stands for statements that pass it.
    CheckStatement(lifted->shape, sql);
    StatementPtr stmt = NoStatement();
    if (TryPrepareOne(conn, TranslateJetSql(lifted->shape), &stmt) != PrepareOutcome::kOk ||
        sqlite3_column_count(stmt.get()) > 0) {
      stmt.reset();
    }
    entry = conn.statements.Add(lifted->shape, std::move(stmt), conn.prepared_writes);
  }
  // Without a statement the plain way reports the failure in its own words.
  sqlite3_stmt* stmt = entry->stmt.get();
  if (stmt == nullptr) return false;
  // A cached statement is reset after every use, so that it holds no lock
  // between uses and binds afresh.
  assert(!sqlite3_stmt_busy(stmt));
  for (size_t k = 0; k < lifted->values.size(); ++k) {
    const std::string& v = lifted->values[k];
    sqlite3_bind_text(stmt, static_cast<int>(k + 1), v.data(), static_cast<int>(v.size()),
                      SQLITE_TRANSIENT);
  }
  conn.denied_table.clear();
  conn.denied_error = 0;
  conn.NoteWrites(entry->writes);
  // The error names the statement as written and as translated with its
  // literals, like the plain way's. The statement is reset after its step, so
  // that it holds no lock until its next use.
  StepInGroup(conn, stmt, [&] { return StatementError(conn, Detail(sql, TranslateJetSql(sql))); });
  records_affected_ = sqlite3_changes64(conn.db);
  return true;
}

bool SqliteDatabase::ReturnsRows(const std::string& sql) {
  CommitBeforeReading(*connection_);
  CheckStatement(sql);
  std::string translated = TranslateJetSql(sql);
  StatementPtr stmt = PrepareOne(*connection_, translated, Detail(sql, translated));
  return sqlite3_column_count(stmt.get()) > 0;
}

QueryResult SqliteDatabase::Query(const std::string& sql) {
  std::unique_ptr<RowStream> rows = Stream(sql);
  QueryResult result;
  result.columns = rows->columns();
  const int n = static_cast<int>(result.columns.size());
  while (rows->Next()) {
    auto& values = result.rows.emplace_back();
    for (int c = 0; c < n; ++c) {
      switch (rows->kind(c)) {
        case RowStream::Kind::kNull:
          values.emplace_back();
          break;
        case RowStream::Kind::kInteger:
          values.emplace_back(rows->integer(c));
          break;
        case RowStream::Kind::kReal:
          values.emplace_back(rows->real(c));
          break;
        case RowStream::Kind::kText:
          values.emplace_back(std::string(rows->text(c)));
          break;
      }
    }
  }
  return result;
}

std::unique_ptr<RowStream> SqliteDatabase::Stream(const std::string& sql) {
  CommitBeforeReading(*connection_);
  CheckStatement(sql);
  std::string translated = TranslateJetSql(sql);
  std::string detail = Detail(sql, translated);
  StatementPtr stmt = PrepareOne(*connection_, translated, detail);
  if (sqlite3_column_count(stmt.get()) == 0) ThrowEngine(jet::kInvalidOperation, detail);
  // A query may write too (DELETE ... RETURNING).
  connection_->NoteWrites(connection_->prepared_writes);
  return std::make_unique<RowStream>(connection_, stmt.release(), std::move(detail));
}

std::vector<std::string> SqliteDatabase::QueryPlan(const std::string& sql) {
  CommitBeforeReading(*connection_);
  CheckStatement(sql);
  std::string translated = "EXPLAIN QUERY PLAN " + TranslateJetSql(sql);
  StatementPtr stmt = PrepareOne(*connection_, translated, Detail(sql, translated));
  std::vector<std::string> plan;
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    plan.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 3)));
  }
  if (rc != SQLITE_DONE) ThrowStatement(*connection_, translated);
  return plan;
}

std::shared_ptr<Recordset> SqliteDatabase::OpenRecordset(const std::string& source) {
  CommitBeforeReading(*connection_);
  static constexpr const char* kQueryWords[] = {"SELECT", "WITH", "VALUES", "PRAGMA", "EXPLAIN"};
  std::string first = FirstWord(source);
  // A lone word names a table even when it reads as a keyword ("Values").
  bool is_query = !IsLoneWord(source) && std::any_of(std::begin(kQueryWords), std::end(kQueryWords),
                                                     [&](const char* w) { return first == w; });
  if (!is_query) {
    std::string name = TableNameOf(source);
    try {
      CheckJetTableName(name);
    } catch (RuntimeError& e) {
      e.set_detail(source);
      throw;
    }
    std::string table = ascii::Enclosed(name, kIdentifierQuote);
    std::string page_sql =
        "SELECT _rowid_, * FROM " + table + " WHERE _rowid_ > ?1 ORDER BY _rowid_ LIMIT ?2";
    StatementPtr page = NoStatement();
    // A view prepares too, but its rows have no rowid (it reads as Null).
    if (HasTable(connection_->db, nullptr, name.c_str()) &&
        TryPrepareOne(*connection_, page_sql, &page) == PrepareOutcome::kOk) {
      return TableRecordset(connection_, std::move(page), source, name);
    }
    // A view or a table without rowid: read it as a query.
    std::string all = "SELECT * FROM " + table;
    return QueryRecordset(connection_, PrepareOne(*connection_, all, source), source);
  }
  CheckStatement(source);
  std::string translated = TranslateJetSql(source);
  std::string detail = Detail(source, translated);
  StatementPtr stmt = PrepareOne(*connection_, translated, detail);
  if (sqlite3_column_count(stmt.get()) == 0) ThrowEngine(jet::kInvalidOperation, detail);
  return QueryRecordset(connection_, std::move(stmt), detail);
}

std::vector<std::shared_ptr<TableDef>> SqliteDatabase::TableDefs() {
  CommitBeforeReading(*connection_);
  sqlite3* db = connection_->db;
  std::vector<std::pair<std::string, std::string>> defs;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, kListLocalTables, -1, &raw, nullptr) != SQLITE_OK) {
    ThrowSqlite(db, kListLocalTables);
  }
  StatementPtr stmt(raw, &sqlite3_finalize);
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    defs.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)), "");
  }
  if (rc != SQLITE_DONE) ThrowSqlite(db, kListLocalTables);
  // A local table hides a link of the same name, as name resolution does.
  size_t local_count = defs.size();
  for (auto& link : ReadLinks(db)) {
    link.second = ResolvedConnect(connection_->path, link.second);
    bool hidden = std::any_of(defs.begin(), defs.begin() + local_count, [&](const auto& d) {
      return ascii::EqualsNoCase(d.first, link.first);
    });
    if (!hidden) defs.push_back(std::move(link));
  }
  std::stable_sort(defs.begin(), defs.end(), [](const auto& a, const auto& b) {
    return ascii::LessNoCase(a.first, b.first);
  });
  std::vector<std::shared_ptr<TableDef>> result;
  for (auto& [name, connect] : defs) {
    result.push_back(MakeTableDef(std::move(name), std::move(connect)));
  }
  return result;
}

}  // namespace kestle::db
