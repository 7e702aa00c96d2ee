// The Witness: an Env and a Database decorator that keep the last error
// passing through them.
#include "cli/witness.h"

#include "cli/cli.h"

namespace kestle::cli {
namespace {

class WatchedRecordset : public db::Recordset {
 public:
  WatchedRecordset(std::shared_ptr<db::Recordset> target, Witness* witness)
      : target_(std::move(target)), witness_(witness) {}

  bool Eof() override {
    return witness_->Run([&] { return target_->Eof(); });
  }
  void MoveFirst() override {
    witness_->Run([&] { target_->MoveFirst(); });
  }
  void MoveNext() override {
    witness_->Run([&] { target_->MoveNext(); });
  }
  db::Value Field(const std::string& name) override {
    return witness_->Run([&] { return target_->Field(name); });
  }

 private:
  std::shared_ptr<db::Recordset> target_;
  Witness* witness_;
};

class WatchedDatabase : public db::Database {
 public:
  WatchedDatabase(std::shared_ptr<db::Database> target, Witness* witness)
      : target_(std::move(target)), witness_(witness) {}

  void Execute(const std::string& sql) override {
    witness_->Run([&] { target_->Execute(sql); });
  }
  std::shared_ptr<db::Recordset> OpenRecordset(const std::string& source) override {
    return std::make_shared<WatchedRecordset>(
        witness_->Run([&] { return target_->OpenRecordset(source); }), witness_);
  }
  std::vector<std::shared_ptr<db::TableDef>> TableDefs() override {
    return witness_->Run([&] { return target_->TableDefs(); });
  }

 private:
  std::shared_ptr<db::Database> target_;
  Witness* witness_;
};

}  // namespace

std::shared_ptr<db::Database> Witness::Watch(std::shared_ptr<db::Database> database) {
  return std::make_shared<WatchedDatabase>(std::move(database), this);
}

int Witness::ReportFailure(const std::string& fallback) const {
  if (last_error_ && !last_error_->detail().empty()) return ReportError(*last_error_);
  return Fail(fallback);
}

std::unique_ptr<SequentialFile> Witness::NewSequentialFile(const std::string& path) {
  return Run([&] { return EnvWrapper::NewSequentialFile(path); });
}
std::unique_ptr<WritableFile> Witness::NewWritableFile(const std::string& path) {
  return Run([&] { return EnvWrapper::NewWritableFile(path); });
}
uint64_t Witness::FileSize(const std::string& path) {
  return Run([&] { return EnvWrapper::FileSize(path); });
}
void Witness::CreateFolder(const std::string& path) {
  Run([&] { EnvWrapper::CreateFolder(path); });
}
void Witness::CopyFileTo(const std::string& from, const std::string& to) {
  Run([&] { EnvWrapper::CopyFileTo(from, to); });
}
void Witness::RenameFile(const std::string& from, const std::string& to) {
  Run([&] { EnvWrapper::RenameFile(from, to); });
}
void Witness::RemoveFile(const std::string& path) {
  Run([&] { EnvWrapper::RemoveFile(path); });
}
std::string Witness::DirLookup(const std::string& path) {
  return Run([&] { return EnvWrapper::DirLookup(path); });
}

int Witness::ShowMessageBox(const std::string& text, unsigned style, const std::string& title) {
  ++boxes_;
  return EnvWrapper::ShowMessageBox(text, style, title);
}

}  // namespace kestle::cli
