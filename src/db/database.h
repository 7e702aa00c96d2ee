// The host database as the component sees it: the few operations of a DAO
// Database that the archive, backup and shipping jobs call, and nothing else.
//
// Engine-neutral: on Windows the host's DAO object serves this interface
// (src/component/com/dao_database.*), on other systems the embedded SQLite
// engine that speaks the Jet dialect (src/db/sqlite/). Every failure is a
// RuntimeError carrying the engine's own number and text. Objects are held by
// counted references (std::shared_ptr); dropping the last reference to a
// record set closes it.
//
// Threads: a Database and the record sets and table definitions it returns
// are used by one thread at a time, the one that opened it (in the DLL, the
// apartment of the host's DAO object, which is the apartment of the calling
// automation object). Nothing here locks. Two Database objects on one file,
// in two threads or two processes, meet only in the engine's own locking.
#ifndef KESTLE_DB_DATABASE_H_
#define KESTLE_DB_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kestle::db {

// A field value: Null, a whole number, a real number or text.
class Value {
 public:
  Value() = default;  // Null
  Value(int64_t v) : v_(v) {}
  Value(double v) : v_(v) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(const char* v) : v_(std::string(v)) {}

  bool is_null() const { return std::holds_alternative<std::monostate>(v_); }
  bool is_integer() const { return std::holds_alternative<int64_t>(v_); }
  bool is_real() const { return std::holds_alternative<double>(v_); }
  bool is_text() const { return std::holds_alternative<std::string>(v_); }

  // The value converted to text; a Null raises error 94, "Invalid use of Null".
  std::string ToText() const;

  int64_t integer() const { return std::get<int64_t>(v_); }
  double real() const { return std::get<double>(v_); }
  const std::string& text() const { return std::get<std::string>(v_); }

  bool operator==(const Value& other) const = default;

 private:
  std::variant<std::monostate, int64_t, double, std::string> v_;
};

// The text of a real number as the host converts one (and as Jet does when it
// joins a number to text): at most 15 significant digits, trailing zeros
// dropped, a whole number below 1E+15 written out in full, an exponent beyond
// ("2", "2.5", "0.333333333333333", "1E+20").
std::string JetNumberText(double v);

// A forward-only cursor over the rows of a query or a table. It opens on its
// first row, or with Eof() true when there is none.
class Recordset {
 public:
  virtual ~Recordset() = default;
  virtual bool Eof() = 0;
  // Makes the first row current; called only while Eof() is false.
  virtual void MoveFirst() = 0;
  // Makes the next row current, or sets Eof() after the last.
  virtual void MoveNext() = 0;
  // The value of the named field of the current row (names without regard
  // to case).
  virtual Value Field(const std::string& name) = 0;
};

// One table definition: a local table (Connect empty) or a linked one.
class TableDef {
 public:
  virtual ~TableDef() = default;
  virtual std::string Name() = 0;
  virtual std::string Connect() = 0;
};

class Database {
 public:
  virtual ~Database() = default;
  // Runs one action statement (INSERT, DELETE, UPDATE) in the Jet dialect,
  // without a fail-on-error option: rows that cannot be inserted or deleted
  // are skipped silently; only a statement that cannot run fails.
  virtual void Execute(const std::string& sql) = 0;
  // Opens a record set on a SELECT statement or on a table name.
  virtual std::shared_ptr<Recordset> OpenRecordset(const std::string& source) = 0;
  // The table definitions in the collection's own order.
  virtual std::vector<std::shared_ptr<TableDef>> TableDefs() = 0;
};

}  // namespace kestle::db

#endif  // KESTLE_DB_DATABASE_H_
