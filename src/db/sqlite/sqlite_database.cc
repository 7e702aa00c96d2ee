// The SQLite engine behind the Database interface: connection set-up and
// back-end attachment, statement execution, record sets and the SQL functions
// that give SQLite Jet's LIKE, &, Nz, Len, Left, Right and Mid.
#include "db/sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>

#include "db/jet_errors.h"
#include "db/sqlite/jet_check.h"
#include "db/sqlite/jet_sql.h"
#include "db/sqlite/sqlite_errors.h"
#include "platform/env.h"
#include "platform/error.h"

namespace kestle::db {

namespace {

using StatementPtr = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

StatementPtr NoStatement() { return StatementPtr(nullptr, &sqlite3_finalize); }

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
    if (entries_.size() >= kCapacity) {
      auto oldest = std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
        return a.second.last_use < b.second.last_use;
      });
      entries_.erase(oldest);
    }
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

// What the authorizer lets a statement reach in one attached back-end.
struct BackendAccess {
  std::string schema;
  // Names of the linked tables, ASCII lower case.
  std::set<std::string> linked;
};

}  // namespace

// One open SQLite connection, shared by a database and its record sets so that
// a record set outliving its Database object stays valid.
struct Connection {
  sqlite3* db = nullptr;
  // The front-end's absolute path.
  std::string path;
  // Per linked table (ASCII lower case) whose back-end could not be attached,
  // the error that statements using the table fail with.
  std::map<std::string, RuntimeError> unreachable;
  // The attached back-ends in the order attached, for the authorizer.
  std::vector<BackendAccess> backends;
  // The first table the authorizer refused since the last prepare began.
  std::string denied_table;
  // Jet's error for another refusal of the authorizer since the last prepare
  // began (0 for none), and its argument.
  int denied_error = 0;
  std::string denied_argument;
  // The tables (ASCII lower case) that the statements prepared since the last
  // prepare began insert into, update or delete from, their triggers included.
  std::set<std::string> prepared_writes;
  // Per table (ASCII lower case), the value of write_clock when a statement
  // that writes it last ran, so that a table record set knows when the rows it
  // read ahead may be stale.
  std::unordered_map<std::string, uint64_t> last_write;
  uint64_t write_clock = 0;
  StatementCache statements;

  // Notes that a statement writing `tables` runs now.
  void NoteWrites(const std::set<std::string>& tables) {
    ++write_clock;
    for (const std::string& t : tables) last_write[t] = write_clock;
  }
  ~Connection() {
    statements.Clear();
    sqlite3_close_v2(db);
  }
};

namespace {

// Connection settings. A writer puts each database it opens in WAL mode, with
// synchronous=NORMAL: the backup copy can then read while the jobs write, and
// the archive's many small autocommit statements cost a fraction of what a
// rollback journal's two syncs per statement do (seconds against minutes at
// a few thousand orders); a power loss keeps the file consistent and may cost
// the last commits. WAL is a property of the file, so it stays after the
// writer closes; a database that cannot be switched (another connection holds
// it, a file system without shared memory) keeps its mode and, in a rollback
// mode, SQLite's FULL. A reader never switches a mode and sets query_only, so
// that no statement can change a file.
constexpr int kBusyTimeoutMs = 5000;
constexpr const char* kSetWalMode = "PRAGMA journal_mode=WAL";
constexpr const char* kSetSchemaWalMode = "PRAGMA %s.journal_mode=WAL";
constexpr const char* kJournalModeQuery = "PRAGMA %s.journal_mode";
constexpr const char* kWalModeName = "wal";
constexpr const char* kSetSynchronousNormal = "PRAGMA %s.synchronous=NORMAL";
constexpr const char* kSetQueryOnly = "PRAGMA query_only=1";
constexpr const char* kAttach = "ATTACH DATABASE ?1 AS ";
constexpr const char* kWalSuffix = "-wal";
constexpr const char* kImmutableQuery = "?immutable=1";
// Schema names of attached back-ends: kestle_be1, kestle_be2, ...
constexpr const char* kBackendSchemaPrefix = "kestle_be";
// Rows fetched at a time by a record set on a table.
constexpr int kTablePageRows = 1024;
// Rows fetched at a time by a record set on a table after its table changed.
constexpr int kRefreshRows = 16;

constexpr const char* kListLocalTables =
    "SELECT name FROM main.sqlite_schema WHERE type = 'table' "
    "AND substr(name, 1, 7) <> 'sqlite_' AND name <> 'kestle_links' COLLATE NOCASE";
constexpr const char* kListLinks = "SELECT name, connect FROM main.kestle_links";
constexpr const char* kHasLinksTable =
    "SELECT 1 FROM main.sqlite_schema WHERE type = 'table' AND name = 'kestle_links' COLLATE "
    "NOCASE";

// The statement text shown in an error's detail: the Jet text, and SQLite's
// when the translation changed it.
std::string Detail(const std::string& jet, const std::string& translated) {
  return translated == jet ? jet : jet + "\nSQLite: " + translated;
}

// The failure of an internal statement `sql` on `db`, in DAO's terms.
[[noreturn]] void ThrowSqlite(sqlite3* db, const std::string& sql) {
  const char* file = sqlite3_db_filename(db, "main");
  throw JetErrorOf(sqlite3_extended_errcode(db), sqlite3_errmsg(db), FailureSite::kStatement,
                   file != nullptr ? file : "", sql, sql);
}

std::string AsciiLower(std::string text);

// The failure of a statement on `conn` in DAO's terms; `detail` starts with
// the Jet statement. A table the authorizer refused is one Jet cannot find,
// and a linked table whose back-end could not be attached fails with that
// file's error.
RuntimeError StatementError(const Connection& conn, const std::string& detail) {
  // A refused function fails with SQLITE_ERROR, not SQLITE_AUTH.
  if (conn.denied_error != 0) {
    RuntimeError e = jet::Error(conn.denied_error, conn.denied_argument);
    e.set_detail(detail);
    return e;
  }
  int code = sqlite3_extended_errcode(conn.db);
  std::string message = sqlite3_errmsg(conn.db);
  if (code == SQLITE_AUTH && !conn.denied_table.empty()) message = conn.denied_table;
  if (std::string table = MissingTableOf(message); !table.empty()) {
    auto it = conn.unreachable.find(AsciiLower(table));
    if (it != conn.unreachable.end()) {
      RuntimeError e = it->second;
      e.set_detail(detail);
      return e;
    }
  }
  return JetErrorOf(code, message, FailureSite::kStatement, conn.path, detail, detail);
}

[[noreturn]] void ThrowStatement(const Connection& conn, const std::string& detail) {
  throw StatementError(conn, detail);
}

// Throws the engine's own failure `number` (jet_errors.h).
[[noreturn]] void ThrowEngine(int number, const std::string& detail) {
  RuntimeError e = jet::Error(number);
  e.set_detail(detail);
  throw e;
}

// How preparing one statement went.
enum class PrepareOutcome { kOk, kFailed, kEmpty, kSecondStatement };

// Prepares `sql` as exactly one statement into *stmt; text after it (other
// than blanks, comments and ";") counts as a second statement.
PrepareOutcome TryPrepareOne(Connection& conn, const std::string& sql, StatementPtr* stmt) {
  conn.denied_table.clear();
  conn.denied_error = 0;
  conn.prepared_writes.clear();
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(conn.db, sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, &tail) !=
      SQLITE_OK) {
    return PrepareOutcome::kFailed;
  }
  *stmt = StatementPtr(raw, &sqlite3_finalize);
  if (!*stmt) return PrepareOutcome::kEmpty;
  sqlite3_stmt* second = nullptr;
  int rc = sqlite3_prepare_v2(conn.db, tail, -1, &second, nullptr);
  if (second != nullptr || rc != SQLITE_OK) {
    sqlite3_finalize(second);
    stmt->reset();
    return PrepareOutcome::kSecondStatement;
  }
  return PrepareOutcome::kOk;
}

// Prepares `translated` as exactly one statement; text after it is refused, a
// stacked statement included.
StatementPtr PrepareOne(Connection& conn, const std::string& translated,
                        const std::string& detail) {
  StatementPtr stmt = NoStatement();
  switch (TryPrepareOne(conn, translated, &stmt)) {
    case PrepareOutcome::kOk:
      break;
    case PrepareOutcome::kFailed:
      ThrowStatement(conn, detail);
    case PrepareOutcome::kEmpty:
      ThrowEngine(jet::kInvalidStatement, detail);
    case PrepareOutcome::kSecondStatement:
      ThrowEngine(jet::kExtraCharacters, detail);
  }
  return stmt;
}

// Runs an internal statement that yields no rows.
void RunInternal(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    ThrowSqlite(db, sql);
  }
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return !LessNoCase(a, b) && !LessNoCase(b, a);
}

// --- SQL functions -----------------------------------------------------------

// The text of a value as Jet converts it: a whole real number reads as a
// whole number ("2", where SQLite writes "2.0"); everything else as SQLite
// writes it. `buffer` holds the text when it is made here.
std::string_view JetText(sqlite3_value* value, std::string* buffer) {
  constexpr double kPlainLimit = 1e15;  // beyond, Jet writes an exponent
  if (sqlite3_value_type(value) == SQLITE_FLOAT) {
    double d = sqlite3_value_double(value);
    if (std::trunc(d) == d && std::fabs(d) < kPlainLimit) {
      *buffer = std::to_string(static_cast<int64_t>(d));
      return *buffer;
    }
  }
  const char* p = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return std::string_view(p, sqlite3_value_bytes(value));
}

// like(pattern, text): the LIKE operator with Jet's wildcards. The compiled
// pattern is kept with the statement while the pattern argument stays the same.
void JetLikeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return;  // Null
  }
  auto* pattern = static_cast<JetPattern*>(sqlite3_get_auxdata(ctx, 0));
  std::optional<JetPattern> compiled;
  std::string buffer;
  if (pattern == nullptr) {
    compiled = JetPattern::Compile(JetText(argv[0], &buffer));
    if (!compiled) {
      sqlite3_result_error(ctx, kInvalidPatternText, -1);
      return;
    }
    pattern = &*compiled;
    sqlite3_set_auxdata(ctx, 0, new JetPattern(*compiled),
                        [](void* p) { delete static_cast<JetPattern*>(p); });
  }
  sqlite3_result_int(ctx, pattern->Matches(JetText(argv[1], &buffer)));
}

// Nz(value[, fallback]): the value, or for Null the fallback ("" without one).
void JetNzFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
    sqlite3_result_value(ctx, argv[0]);
  } else if (argc > 1) {
    sqlite3_result_value(ctx, argv[1]);
  } else {
    sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
  }
}

// jet_concat(a, b, ...): Jet's "&" chain. Each operand as text, Null as "";
// Null when every operand is Null.
void JetConcatFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string text, buffer;
  bool any = false;
  for (int k = 0; k < argc; ++k) {
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) continue;
    any = true;
    text += JetText(argv[k], &buffer);
  }
  if (any) sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// The byte offset of character number `n` (from 0) in UTF-8 text, or its size.
size_t CharOffset(std::string_view text, int64_t n) {
  size_t i = 0;
  for (; i < text.size() && n > 0; --n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

int64_t CharCount(std::string_view text) {
  int64_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// Reads a count argument as Jet converts a value to a Long: text that reads
// as a number counts as that number, and a fraction rounds to the nearest
// whole number, a half to the even one (2.5 -> 2, 3.5 -> 4). False (with the
// error set) for Null, other text, or a number beyond a Long.
bool ReadCount(sqlite3_context* ctx, sqlite3_value* value, int64_t* count) {
  constexpr double kLongMin = -2147483648.0, kLongMax = 2147483647.0;
  double number = 0;
  switch (sqlite3_value_numeric_type(value)) {
    case SQLITE_NULL:
      sqlite3_result_error(ctx, kInvalidUseOfNullText, -1);
      return false;
    case SQLITE_INTEGER:
      number = static_cast<double>(sqlite3_value_int64(value));
      break;
    case SQLITE_FLOAT:
      // The default rounding mode rounds halves to even, as Jet does.
      number = std::nearbyint(sqlite3_value_double(value));
      break;
    default:
      sqlite3_result_error(ctx, kTypeMismatchText, -1);
      return false;
  }
  if (!(number >= kLongMin && number <= kLongMax)) {
    sqlite3_result_error(ctx, kOverflowText, -1);
    return false;
  }
  *count = static_cast<int64_t>(number);
  return true;
}

// Reads the text argument (as JetText, into `buffer` when made) and the count
// arguments of Left, Right and Mid; false (with the error set) when a count is
// not one (ReadCount) or out of range, or when the text is Null (then the
// result stays Null).
bool TextAndCounts(sqlite3_context* ctx, int argc, sqlite3_value** argv, int64_t min_first,
                   std::string* buffer, std::string_view* text, int64_t counts[2]) {
  for (int k = 1; k < argc; ++k) {
    if (!ReadCount(ctx, argv[k], &counts[k - 1])) return false;
    if (counts[k - 1] < (k == 1 ? min_first : 0)) {
      sqlite3_result_error(ctx, kInvalidArgumentText, -1);
      return false;
    }
  }
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return false;
  *text = JetText(argv[0], buffer);
  return true;
}

void ResultText(sqlite3_context* ctx, std::string_view text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Left(text, n): the first n characters.
void JetLeftFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string buffer;
  std::string_view text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 0, &buffer, &text, counts)) return;
  ResultText(ctx, text.substr(0, CharOffset(text, counts[0])));
}

// Right(text, n): the last n characters.
void JetRightFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string buffer;
  std::string_view text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 0, &buffer, &text, counts)) return;
  int64_t skip = std::max<int64_t>(0, CharCount(text) - counts[0]);
  ResultText(ctx, text.substr(CharOffset(text, skip)));
}

// Mid(text, start[, length]): the characters from position `start` (from 1).
void JetMidFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string buffer;
  std::string_view text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 1, &buffer, &text, counts)) return;
  std::string_view rest = text.substr(CharOffset(text, counts[0] - 1));
  ResultText(ctx, argc > 2 ? rest.substr(0, CharOffset(rest, counts[1])) : rest);
}

// Len(value): the number of characters of the value's text; Null for Null.
void JetLenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  std::string buffer;
  sqlite3_result_int64(ctx, CharCount(JetText(argv[0], &buffer)));
}

struct FunctionDef {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

// Registering like() with two arguments replaces the LIKE operator (the
// three-argument ESCAPE form stays SQLite's). PRAGMA case_sensitive_like would
// reinstate SQLite's own, so the engine never issues it.
constexpr FunctionDef kFunctions[] = {
    {"like", 2, JetLikeFunction},
    {kJetNzFunction, 1, JetNzFunction},
    {kJetNzFunction, 2, JetNzFunction},
    {kJetLeftFunction, 2, JetLeftFunction},
    {kJetRightFunction, 2, JetRightFunction},
    {kJetMidFunction, 2, JetMidFunction},
    {kJetMidFunction, 3, JetMidFunction},
    {kJetConcatFunction, -1, JetConcatFunction},
    {kJetLenFunction, 1, JetLenFunction},
};

void RegisterFunctions(sqlite3* db) {
  for (const FunctionDef& f : kFunctions) {
    if (sqlite3_create_function_v2(db, f.name, f.args,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   f.fn, nullptr, nullptr, nullptr) != SQLITE_OK) {
      ThrowSqlite(db, f.name);
    }
  }
}

// --- Back-ends ---------------------------------------------------------------

// What a database file path holds, read through the Env before SQLite sees
// the file, so that a missing file is never created and an empty or foreign
// one never becomes a database.
enum class FileKind { kDatabase, kMissing, kNoAccess, kOther };

struct FileFacts {
  FileKind kind;
  bool wal = false;  // the header records WAL mode
};

// The start of an SQLite file's header, and where it records the journal
// mode (bytes 18 and 19, both 2 for WAL).
constexpr char kSqliteMagic[16] = "SQLite format 3";
constexpr size_t kHeaderBytes = 20, kReadVersionAt = 18, kWriteVersionAt = 19;
constexpr char kWalVersion = 2;

FileFacts Examine(const std::string& path) {
  try {
    std::unique_ptr<SequentialFile> file = Env::Default()->NewSequentialFile(path);
    char head[kHeaderBytes];
    size_t n = 0;
    for (size_t got = 1; n < sizeof head && got > 0; n += got) {
      got = file->Read(head + n, sizeof head - n);
    }
    if (n < sizeof head || std::memcmp(head, kSqliteMagic, sizeof kSqliteMagic) != 0) {
      return {FileKind::kOther};
    }
    return {FileKind::kDatabase,
            head[kReadVersionAt] == kWalVersion && head[kWriteVersionAt] == kWalVersion};
  } catch (const RuntimeError& e) {
    if (e.number() == err::kFileNotFound || e.number() == err::kPathNotFound) {
      return {FileKind::kMissing};
    }
    return {e.number() == err::kPermissionDenied ? FileKind::kNoAccess : FileKind::kOther};
  }
}

FileKind KindOf(const std::string& path) { return Examine(path).kind; }

// True when reading the database at `path` (absolute) would make SQLite create
// -wal and -shm files that it could not remove, owned by this process where
// the file's owner may be unable to write them: the file is in WAL mode, no
// one has it open (there is no -wal file) and this process cannot write it.
// Such a file is read as immutable instead, which creates nothing; since no
// writer was active when it opened, it reads one consistent state unless a
// writer starts and checkpoints during the read.
bool ReadImmutably(const std::string& path) {
  if (!Examine(path).wal || !Env::Default()->DirLookup(path + kWalSuffix).empty()) return false;
  // Opening reads nothing yet; it only finds out whether the file is writable.
  sqlite3* probe = nullptr;
  sqlite3_open_v2(path.c_str(), &probe, SQLITE_OPEN_READWRITE, nullptr);
  bool read_only = probe != nullptr && sqlite3_db_readonly(probe, "main") == 1;
  sqlite3_close_v2(probe);
  return read_only;
}

// The URI that opens the file at `path` (absolute) as immutable.
std::string ImmutableUri(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = path.starts_with("/") ? "file://" : "file:///";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/._~-", c) != nullptr) {
      uri.push_back(static_cast<char>(c));
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  return uri + kImmutableQuery;
}

// DAO's error for a database file of kind `kind` that cannot be used.
RuntimeError FileError(FileKind kind, const std::string& path) {
  switch (kind) {
    case FileKind::kMissing:
      return jet::Error(jet::kFileNotFound, path);
    case FileKind::kNoAccess:
      return jet::Error(jet::kOpenedExclusively, path);
    default:
      return jet::Error(jet::kUnrecognizedFormat, path);
  }
}

// True when `schema` of `db` is in WAL mode (asking changes nothing).
bool InWalMode(sqlite3* db, const std::string& schema) {
  char sql[64];
  std::snprintf(sql, sizeof sql, kJournalModeQuery, schema.c_str());
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) ThrowSqlite(db, sql);
  StatementPtr stmt(raw, &sqlite3_finalize);
  if (sqlite3_step(raw) != SQLITE_ROW) ThrowSqlite(db, sql);
  return EqualNoCase(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)), kWalModeName);
}

// Puts `schema` in WAL mode with synchronous=NORMAL (see above); leaves a
// database that refuses the switch as it is.
void TuneWriter(sqlite3* db, const std::string& schema) {
  if (!InWalMode(db, schema)) {
    char wal[64];
    std::snprintf(wal, sizeof wal, kSetSchemaWalMode, schema.c_str());
    sqlite3_exec(db, wal, nullptr, nullptr, nullptr);
    if (!InWalMode(db, schema)) return;
  }
  char sql[64];
  std::snprintf(sql, sizeof sql, kSetSynchronousNormal, schema.c_str());
  RunInternal(db, sql);
}

// Attaches the database file at `path` (absolute) as `schema`; the error that
// the statements on its tables fail with when it cannot be used. A connection
// opened without SQLITE_OPEN_CREATE never creates a missing file here, and
// attached files are read-only on a read-only connection.
std::optional<RuntimeError> Attach(sqlite3* db, const std::string& path, const std::string& schema,
                                   bool writer) {
  if (FileKind kind = KindOf(path); kind != FileKind::kDatabase) return FileError(kind, path);
  std::string sql = kAttach + schema;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) ThrowSqlite(db, sql);
  StatementPtr stmt(raw, &sqlite3_finalize);
  std::string name = ReadImmutably(path) ? ImmutableUri(path) : path;
  sqlite3_bind_text(raw, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(raw) != SQLITE_DONE) {
    return JetErrorOf(sqlite3_extended_errcode(db), sqlite3_errmsg(db), FailureSite::kFile, path,
                      sql, path);
  }
  if (writer) TuneWriter(db, schema);
  return std::nullopt;
}

// The (name, connect) rows of kestle_links, or none when the table is missing.
std::vector<std::pair<std::string, std::string>> ReadLinks(sqlite3* db) {
  std::vector<std::pair<std::string, std::string>> links;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, kHasLinksTable, -1, &raw, nullptr) != SQLITE_OK) {
    ThrowSqlite(db, kHasLinksTable);
  }
  StatementPtr probe(raw, &sqlite3_finalize);
  int rc = sqlite3_step(raw);
  if (rc == SQLITE_DONE) return links;
  if (rc != SQLITE_ROW) ThrowSqlite(db, kHasLinksTable);
  if (sqlite3_prepare_v2(db, kListLinks, -1, &raw, nullptr) != SQLITE_OK) {
    ThrowSqlite(db, kListLinks);
  }
  StatementPtr stmt(raw, &sqlite3_finalize);
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    auto text = [&](int col) {
      const unsigned char* p = sqlite3_column_text(raw, col);
      return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
    };
    links.emplace_back(text(0), text(1));
  }
  if (rc != SQLITE_DONE) ThrowSqlite(db, kListLinks);
  return links;
}

std::string AsciiLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Attaches each distinct back-end file named by the links (a relative path
// taken from the front-end's folder), in the order of the link names, and
// records which of its tables are linked. The links to a file that cannot be
// used are noted with its error instead.
void AttachBackends(Connection& conn, bool writer) {
  auto links = ReadLinks(conn.db);
  std::sort(links.begin(), links.end(),
            [](const auto& a, const auto& b) { return LessNoCase(a.first, b.first); });
  struct Outcome {
    std::string schema;  // "" when not attached
    std::optional<RuntimeError> error;
  };
  std::map<std::string, Outcome> outcome_of_path;
  for (const auto& [name, connect] : links) {
    std::string path = BackendPath(conn.path, connect);
    if (path.empty()) continue;
    auto known = outcome_of_path.find(path);
    if (known == outcome_of_path.end()) {
      std::string schema = kBackendSchemaPrefix + std::to_string(conn.backends.size() + 1);
      std::optional<RuntimeError> error = Attach(conn.db, path, schema, writer);
      if (!error) conn.backends.push_back({schema, {}});
      known = outcome_of_path.emplace(path, Outcome{error ? "" : schema, error}).first;
    }
    if (known->second.error) {
      conn.unreachable.emplace(AsciiLower(name), *known->second.error);
      continue;
    }
    for (BackendAccess& backend : conn.backends) {
      if (backend.schema == known->second.schema) backend.linked.insert(AsciiLower(name));
    }
  }
}

// True when `schema` (any schema when nullptr) holds a table, not a view,
// named `table`. (The call needs SQLite built with
// SQLITE_ENABLE_COLUMN_METADATA, as the common builds are.)
bool HasTable(sqlite3* db, const char* schema, const char* table) {
  return sqlite3_table_column_metadata(db, schema, table, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr) == SQLITE_OK;
}

// The back-end that an unqualified table name resolves to (temp, then main,
// then the back-ends in the order attached), or nullptr for a local table or
// none at all.
const BackendAccess* ResolveTable(const Connection& conn, const char* table) {
  if (HasTable(conn.db, "temp", table) || HasTable(conn.db, "main", table)) return nullptr;
  for (const BackendAccess& backend : conn.backends) {
    if (HasTable(conn.db, backend.schema.c_str(), table)) return &backend;
  }
  return nullptr;
}

// The authorizer that gives a front-end Jet's view of its back-ends: of an
// attached back-end only the linked tables can be read or changed. Every
// other access (local tables, temp, statements that touch no table) passes,
// and so does whatever a back-end's trigger or view does once the statement
// could reach the trigger's table or the view itself. The refused table's
// name is kept for Jet's "cannot find" message, and every table written is
// noted in prepared_writes for the table record sets.
int LinkedTablesOnly(void* arg, int action, const char* table, const char*, const char* schema,
                     const char* inner) {
  if (action != SQLITE_READ && action != SQLITE_INSERT && action != SQLITE_UPDATE &&
      action != SQLITE_DELETE) {
    return SQLITE_OK;
  }
  auto* conn = static_cast<Connection*>(arg);
  if (table != nullptr && action != SQLITE_READ) conn->prepared_writes.insert(AsciiLower(table));
  if (table == nullptr || inner != nullptr || conn->backends.empty()) return SQLITE_OK;
  const BackendAccess* backend = nullptr;
  if (schema != nullptr) {
    for (const BackendAccess& b : conn->backends) {
      if (b.schema == schema) backend = &b;
    }
  } else {
    // A table read for no column (count(*)) comes without its schema.
    backend = ResolveTable(*conn, table);
  }
  if (backend == nullptr || backend->linked.count(AsciiLower(table)) > 0) return SQLITE_OK;
  if (conn->denied_table.empty()) conn->denied_table = table;
  return SQLITE_DENY;
}

// The actions a Jet statement may take: reading and changing rows, and
// creating, altering and dropping tables and indexes (CREATE INDEX reports a
// REINDEX of the new index too).
constexpr int kJetActions[] = {
    SQLITE_SELECT,     SQLITE_READ,       SQLITE_INSERT,       SQLITE_UPDATE,
    SQLITE_DELETE,     SQLITE_FUNCTION,   SQLITE_CREATE_TABLE, SQLITE_CREATE_INDEX,
    SQLITE_DROP_TABLE, SQLITE_DROP_INDEX, SQLITE_ALTER_TABLE,  SQLITE_REINDEX,
};

// SQLite's built-in functions that translated statements call, and those that
// SQLite's own schema changes call (ALTER TABLE rewrites the schema's text
// with them). Names that start with "sqlite_" are SQLite's internal ones,
// which the statement check keeps out of the statements themselves.
constexpr const char* kBuiltinFunctions[] = {"upper", "lower", "trim",   "ltrim",  "rtrim",
                                             "iif",   "abs",   "count",  "sum",    "avg",
                                             "min",   "max",   "printf", "substr", "length"};
// The prefix of SQLite's internal function and table names.
constexpr std::string_view kInternalPrefix = "sqlite_";

// True for the functions of the engine's table (kFunctions) and those above.
bool IsEngineFunction(const char* name) {
  std::string lower = AsciiLower(name != nullptr ? name : "");
  auto is = [&](const char* n) { return lower == n; };
  return lower.starts_with(kInternalPrefix) ||
         std::any_of(std::begin(kBuiltinFunctions), std::end(kBuiltinFunctions), is) ||
         std::any_of(std::begin(kFunctions), std::end(kFunctions),
                     [&](const FunctionDef& f) { return is(f.name); });
}

// The engine's authorizer, armed once the front-end is open: the backstop of
// the statement check (jet_check.h). It refuses every action that a Jet
// statement cannot take (ATTACH, PRAGMA, views, triggers, virtual and
// temporary tables, transactions, recursive queries), calls of functions
// outside the engine's own, and table design in a back-end, whose tables the
// front-end only links; then LinkedTablesOnly decides on the tables. Jet's
// error for a refusal is kept for the statement's failure.
int JetStatementsOnly(void* arg, int action, const char* first, const char* second,
                      const char* schema, const char* inner) {
  auto* conn = static_cast<Connection*>(arg);
  auto refuse = [&](int number, const char* argument) {
    if (conn->denied_error == 0) {
      conn->denied_error = number;
      conn->denied_argument = argument != nullptr ? argument : "";
    }
    return SQLITE_DENY;
  };
  if (std::none_of(std::begin(kJetActions), std::end(kJetActions),
                   [&](int a) { return a == action; })) {
    return refuse(jet::kInvalidStatement, nullptr);
  }
  if (action == SQLITE_FUNCTION && !IsEngineFunction(second)) {
    return refuse(jet::kUndefinedFunction, second);
  }
  // Writing a schema's own table is part of changing its design.
  bool writes_schema =
      (action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE) &&
      first != nullptr && AsciiLower(first).starts_with(kInternalPrefix);
  bool design = writes_schema || action == SQLITE_CREATE_TABLE || action == SQLITE_CREATE_INDEX ||
                action == SQLITE_DROP_TABLE || action == SQLITE_DROP_INDEX ||
                action == SQLITE_ALTER_TABLE;
  // ALTER TABLE names its schema first.
  const char* design_schema = action == SQLITE_ALTER_TABLE ? first : schema;
  if (design && design_schema != nullptr &&
      std::any_of(conn->backends.begin(), conn->backends.end(),
                  [&](const BackendAccess& b) { return b.schema == design_schema; })) {
    return refuse(jet::kLinkedTableDdl, nullptr);
  }
  return LinkedTablesOnly(arg, action, first, second, schema, inner);
}

// --- Record sets -------------------------------------------------------------

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
        table_(AsciiLower(std::move(table))) {
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
      if (EqualNoCase(names_[c], name)) return rows_.Get(current_, static_cast<int>(c));
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
    sqlite3_bind_int64(stmt, 1, last_rowid_);
    sqlite3_bind_int(stmt, 2, limit);
    int n = ReadRows(stmt, 1, limit);
    // Resetting ends the read, so no lock is held between pages.
    sqlite3_reset(stmt);
    exhausted_ = n < limit;
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

// `name` as an SQLite quoted identifier.
std::string QuoteName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

// The first word of a statement, or "" when it starts otherwise.
std::string FirstWord(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (std::isspace(static_cast<unsigned char>(text[i])) || text[i] == '('))
    ++i;
  size_t start = i;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
  std::string word = text.substr(start, i - start);
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word;
}

// True when `source`, blanks around it aside, is one word of letters, digits
// and "_".
bool IsLoneWord(const std::string& source) {
  size_t b = source.find_first_not_of(" \t\r\n");
  size_t e = source.find_last_not_of(" \t\r\n");
  if (b == std::string::npos) return false;
  return std::all_of(source.begin() + b, source.begin() + e + 1, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
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

}  // namespace

// Refuses `jet` unless it is a Jet statement (see jet_check.h); the error's
// detail is `shown`, the statement as its caller wrote it.
void CheckStatement(const std::string& jet, const std::string& shown) {
  try {
    CheckJetStatement(jet);
  } catch (RuntimeError& e) {
    e.set_detail(shown);
    throw;
  }
}

void CheckStatement(const std::string& jet) { CheckStatement(jet, jet); }

// --- SqliteDatabase ------------------------------------------------------------

SqliteDatabase::SqliteDatabase(std::shared_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

SqliteDatabase::~SqliteDatabase() = default;

const std::string& SqliteDatabase::path() const { return connection_->path; }

void SqliteDatabase::Execute(const std::string& sql) {
  if (ExecuteCached(sql)) return;
  CheckStatement(sql);
  std::string translated = TranslateJetSql(sql);
  std::string detail = Detail(sql, translated);
  StatementPtr stmt = PrepareOne(*connection_, translated, detail);
  if (sqlite3_column_count(stmt.get()) > 0) ThrowEngine(jet::kCannotExecuteSelect, detail);
  connection_->NoteWrites(connection_->prepared_writes);
  if (sqlite3_step(stmt.get()) != SQLITE_DONE) ThrowStatement(*connection_, detail);
  records_affected_ = sqlite3_changes64(connection_->db);
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
  for (size_t k = 0; k < lifted->values.size(); ++k) {
    const std::string& v = lifted->values[k];
    sqlite3_bind_text(stmt, static_cast<int>(k + 1), v.data(), static_cast<int>(v.size()),
                      SQLITE_TRANSIENT);
  }
  conn.denied_table.clear();
  conn.denied_error = 0;
  conn.NoteWrites(entry->writes);
  if (sqlite3_step(stmt) != SQLITE_DONE) {
    // The error names the statement as written and as translated with its
    // literals, like the plain way's; the reset comes after the error is read.
    RuntimeError e = StatementError(conn, Detail(sql, TranslateJetSql(sql)));
    sqlite3_reset(stmt);
    throw e;
  }
  // Resetting ends the statement, so that it holds no lock until its next use.
  sqlite3_reset(stmt);
  records_affected_ = sqlite3_changes64(conn.db);
  return true;
}

bool SqliteDatabase::ReturnsRows(const std::string& sql) {
  CheckStatement(sql);
  std::string translated = TranslateJetSql(sql);
  StatementPtr stmt = PrepareOne(*connection_, translated, Detail(sql, translated));
  return sqlite3_column_count(stmt.get()) > 0;
}

QueryResult SqliteDatabase::Query(const std::string& sql) {
  CheckStatement(sql);
  std::string translated = TranslateJetSql(sql);
  std::string detail = Detail(sql, translated);
  StatementPtr stmt = PrepareOne(*connection_, translated, detail);
  QueryResult result;
  int n = sqlite3_column_count(stmt.get());
  if (n == 0) ThrowEngine(jet::kInvalidOperation, detail);
  for (int c = 0; c < n; ++c) result.columns.emplace_back(sqlite3_column_name(stmt.get(), c));
  // A query may write too (DELETE ... RETURNING).
  connection_->NoteWrites(connection_->prepared_writes);
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    RowBuffer row;
    row.AddRow(stmt.get(), 0);
    auto& values = result.rows.emplace_back();
    for (int c = 0; c < n; ++c) values.push_back(row.Get(0, c));
  }
  if (rc != SQLITE_DONE) ThrowStatement(*connection_, detail);
  return result;
}

std::vector<std::string> SqliteDatabase::QueryPlan(const std::string& sql) {
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
    std::string table = QuoteName(name);
    std::string page_sql =
        "SELECT _rowid_, * FROM " + table + " WHERE _rowid_ > ?1 ORDER BY _rowid_ LIMIT ?2";
    StatementPtr page = NoStatement();
    // A view prepares too, but its rows have no rowid (it reads as Null).
    if (HasTable(connection_->db, nullptr, name.c_str()) &&
        TryPrepareOne(*connection_, page_sql, &page) == PrepareOutcome::kOk) {
      return std::make_shared<SqliteRecordset>(connection_, std::move(page), source, name,
                                               SqliteRecordset::TablePages{});
    }
    // A view or a table without rowid: read it as a query.
    std::string all = "SELECT * FROM " + table;
    return std::make_shared<SqliteRecordset>(connection_, PrepareOne(*connection_, all, source),
                                             source);
  }
  CheckStatement(source);
  std::string translated = TranslateJetSql(source);
  std::string detail = Detail(source, translated);
  StatementPtr stmt = PrepareOne(*connection_, translated, detail);
  if (sqlite3_column_count(stmt.get()) == 0) ThrowEngine(jet::kInvalidOperation, detail);
  return std::make_shared<SqliteRecordset>(connection_, std::move(stmt), detail);
}

std::vector<std::shared_ptr<TableDef>> SqliteDatabase::TableDefs() {
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
    bool hidden = std::any_of(defs.begin(), defs.begin() + local_count,
                              [&](const auto& d) { return EqualNoCase(d.first, link.first); });
    if (!hidden) defs.push_back(std::move(link));
  }
  std::stable_sort(defs.begin(), defs.end(),
                   [](const auto& a, const auto& b) { return LessNoCase(a.first, b.first); });
  std::vector<std::shared_ptr<TableDef>> result;
  for (auto& [name, connect] : defs) {
    result.push_back(std::make_shared<SqliteTableDef>(std::move(name), std::move(connect)));
  }
  return result;
}

// --- Opening -------------------------------------------------------------------

namespace {

// Creates an empty front-end at `path` (absolute) in WAL mode.
void CreateFrontEnd(const std::string& path) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> db(raw, &sqlite3_close_v2);
  if (raw == nullptr) throw RuntimeError(err::kOutOfMemory);
  sqlite3_extended_result_codes(raw, 1);
  // A missing folder is the usual reason a new file cannot be made.
  if ((rc & 0xFF) == SQLITE_CANTOPEN) throw jet::Error(jet::kInvalidPath, path);
  if (rc != SQLITE_OK) {
    throw JetErrorOf(rc, sqlite3_errmsg(raw), FailureSite::kFile, path, "", path);
  }
  RunInternal(raw, kSetWalMode);
}

}  // namespace

std::shared_ptr<SqliteDatabase> OpenSqliteDatabase(const std::string& front_end_path,
                                                   OpenMode mode) {
  auto conn = std::make_shared<Connection>();
  // SQLite reads a name that starts with "file:" as a URI; an absolute path
  // never does.
  conn->path = AbsolutePath(front_end_path);
  FileKind kind = KindOf(conn->path);
  if (kind == FileKind::kMissing && mode == OpenMode::kCreate) {
    CreateFrontEnd(conn->path);
  } else if (kind != FileKind::kDatabase) {
    throw FileError(kind, conn->path).set_detail(front_end_path);
  }
  // Also a reader opens read-write when it may: a read-only connection that
  // meets a WAL file at rest makes its -wal and -shm files and cannot remove
  // them, while a read-write one removes them when it closes; query_only
  // keeps it from changing anything.
  // The connection takes URIs only for the names it builds itself: every path
  // it is given is absolute, so never a URI.
  std::string name = ReadImmutably(conn->path) ? ImmutableUri(conn->path) : conn->path;
  int rc =
      sqlite3_open_v2(name.c_str(), &conn->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr);
  if (conn->db == nullptr) throw RuntimeError(err::kOutOfMemory);
  sqlite3_extended_result_codes(conn->db, 1);
  if (rc != SQLITE_OK) {
    throw JetErrorOf(rc, sqlite3_errmsg(conn->db), FailureSite::kFile, conn->path, "",
                     front_end_path);
  }
  sqlite3_busy_timeout(conn->db, kBusyTimeoutMs);
  bool writer = mode != OpenMode::kReadOnly;
  try {
    RegisterFunctions(conn->db);
    AttachBackends(*conn, writer);
    if (writer) {
      TuneWriter(conn->db, "main");
    } else {
      RunInternal(conn->db, kSetQueryOnly);
    }
  } catch (const RuntimeError&) {
    // Reading the front-end's own schema failed: a failure of the file.
    int code = sqlite3_extended_errcode(conn->db);
    if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_NOTADB) {
      throw JetErrorOf(code, sqlite3_errmsg(conn->db), FailureSite::kFile, conn->path, "",
                       front_end_path);
    }
    throw;
  }
  // Set after attaching: attaching reads the back-ends' schemas itself.
  sqlite3_set_authorizer(conn->db, JetStatementsOnly, conn.get());
  return std::make_shared<SqliteDatabase>(std::move(conn));
}

namespace {

// The position and length of the path in a connect text (after "DATABASE=",
// any case, up to the next ";" or the end); npos when the key is missing.
std::pair<size_t, size_t> PathSpan(const std::string& connect) {
  static constexpr std::string_view kKey = "DATABASE=";
  for (size_t i = 0; i + kKey.size() <= connect.size(); ++i) {
    if (EqualNoCase(connect.substr(i, kKey.size()), std::string(kKey))) {
      size_t start = i + kKey.size();
      size_t end = connect.find(';', start);
      return {start, (end == std::string::npos ? connect.size() : end) - start};
    }
  }
  return {std::string::npos, 0};
}

}  // namespace

std::string ConnectDatabasePath(const std::string& connect) {
  auto [start, length] = PathSpan(connect);
  return start == std::string::npos ? "" : connect.substr(start, length);
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

std::string BackendPath(const std::string& front_end_path, const std::string& connect) {
  std::string path = ConnectDatabasePath(connect);
  if (path.empty()) return "";
  std::filesystem::path back_end(path);
  if (back_end.is_absolute()) return back_end.lexically_normal().string();
  std::filesystem::path folder = std::filesystem::path(AbsolutePath(front_end_path)).parent_path();
  return (folder / back_end).lexically_normal().string();
}

std::string LinkConnect(const std::string& back_end_path) {
  static constexpr const char* kConnectPrefix = ";DATABASE=";
  std::string path = AbsolutePath(back_end_path);
  if (path.find(';') != std::string::npos) throw jet::Error(jet::kInvalidPath, back_end_path);
  return kConnectPrefix + path;
}

std::string ResolvedConnect(const std::string& front_end_path, const std::string& connect) {
  auto [start, length] = PathSpan(connect);
  if (start == std::string::npos || length == 0) return connect;
  return connect.substr(0, start) + BackendPath(front_end_path, connect) +
         connect.substr(start + length);
}

}  // namespace kestle::db
