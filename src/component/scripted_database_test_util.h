// A scripted db::Database for the component tests: records every statement
// and record-set source it receives, answers record sets from a script, and
// can fail chosen operations with an engine error. It can also forward to a
// real database, so that a fault can be injected into a real run.
#ifndef KESTLE_COMPONENT_SCRIPTED_DATABASE_TEST_UTIL_H_
#define KESTLE_COMPONENT_SCRIPTED_DATABASE_TEST_UTIL_H_

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/database.h"
#include "platform/ascii.h"
#include "platform/error.h"

namespace kestle::testing {

// Rows of one field, served forward-only. Like a DAO record set, it refuses
// MoveFirst, MoveNext and field reads when there is no current row.
class ScriptedRecordset : public db::Recordset {
 public:
  ScriptedRecordset(std::string field, std::vector<db::Value> values)
      : field_(std::move(field)), values_(std::move(values)) {}
  bool Eof() override { return at_ >= values_.size(); }
  void MoveFirst() override {
    if (values_.empty()) throw RuntimeError(3021, "No current record.");
    at_ = 0;
  }
  void MoveNext() override {
    if (Eof()) throw RuntimeError(3021, "No current record.");
    ++at_;
  }
  db::Value Field(const std::string& name) override {
    if (Eof()) throw RuntimeError(3021, "No current record.");
    // Field names are matched without regard to case, as DAO does.
    if (!ascii::EqualsNoCase(name, field_)) {
      throw RuntimeError(3265, "Item not found in this collection.");
    }
    return values_[at_];
  }

 private:
  std::string field_;
  std::vector<db::Value> values_;
  size_t at_ = 0;
};

class ScriptedDatabase : public db::Database {
 public:
  // Without `inner`, every Execute succeeds and every OpenRecordset answers
  // from the script (no rows when nothing matches) and there are no tables.
  // With `inner`, operations that no script or fault claims go to it.
  explicit ScriptedDatabase(std::shared_ptr<db::Database> inner = nullptr)
      : inner_(std::move(inner)) {}

  // OPENs whose source starts with `prefix` yield `values` in field `field`.
  void Answer(std::string prefix, std::string field, std::vector<db::Value> values) {
    answers_.push_back({std::move(prefix), std::move(field), std::move(values)});
  }
  // The `nth` (1-based) operation whose text starts with `prefix` fails with
  // this engine error; 0 fails every such operation.
  void FailOn(std::string prefix, int nth, int number, std::string description) {
    faults_.push_back({std::move(prefix), nth, 0, number, std::move(description)});
  }
  // "EXECUTE <sql>" and "OPEN <source>", in the order received.
  const std::vector<std::string>& log() const { return log_; }

  void Execute(const std::string& sql) override {
    log_.push_back("EXECUTE " + sql);
    MaybeFail(sql);
    if (inner_) inner_->Execute(sql);
  }
  std::shared_ptr<db::Recordset> OpenRecordset(const std::string& source) override {
    log_.push_back("OPEN " + source);
    MaybeFail(source);
    for (const Script& a : answers_) {
      if (source.compare(0, a.prefix.size(), a.prefix) == 0) {
        return std::make_shared<ScriptedRecordset>(a.field, a.values);
      }
    }
    if (inner_) return inner_->OpenRecordset(source);
    return std::make_shared<ScriptedRecordset>("", std::vector<db::Value>{});
  }
  std::vector<std::shared_ptr<db::TableDef>> TableDefs() override {
    if (inner_) return inner_->TableDefs();
    return {};
  }

 private:
  struct Script {
    std::string prefix;
    std::string field;
    std::vector<db::Value> values;
  };
  struct Fault {
    std::string prefix;
    int nth;
    int seen;
    int number;
    std::string description;
  };

  void MaybeFail(const std::string& text) {
    for (Fault& f : faults_) {
      if (text.compare(0, f.prefix.size(), f.prefix) != 0) continue;
      ++f.seen;
      if (f.nth == 0 || f.seen == f.nth) throw RuntimeError(f.number, f.description);
    }
  }

  std::shared_ptr<db::Database> inner_;
  std::vector<Script> answers_;
  std::vector<Fault> faults_;
  std::vector<std::string> log_;
};

}  // namespace kestle::testing

#endif  // KESTLE_COMPONENT_SCRIPTED_DATABASE_TEST_UTIL_H_
