// The host's DAO Database object behind kestle::db::Database.
//
// Every operation is a late-bound call through IDispatch (GetIDsOfNames, then
// Invoke), so that the adapter works with whatever DAO version the host
// passes: Execute and OpenRecordset with their optional arguments omitted,
// the record set's EOF, MoveFirst, MoveNext and Fields(name).Value, and
// TableDefs walked by Count and Item(i) with each TableDef's Name and Connect.
//
// A failed DAO call becomes a RuntimeError with DAO's own number and
// description (see DaoError in dao_database.cc for how the number is read).
#ifndef KESTLE_COMPONENT_COM_DAO_DATABASE_H_
#define KESTLE_COMPONENT_COM_DAO_DATABASE_H_

#include <memory>
#include <string>
#include <vector>

#include "db/database.h"
#include "platform/windows_headers.h"

#include <wrl/client.h>

namespace kestle::com {

// Error number and text when an object lacks a member that DAO has.
inline constexpr int kNoSuchMember = 438;
inline constexpr const char* kNoSuchMemberText = "Object doesn't support this property or method";

class DaoDatabase : public db::Database {
 public:
  // `database` is the host's Database interface pointer; null (Nothing) is
  // accepted, and every operation then raises error 91.
  explicit DaoDatabase(IUnknown* database);

  void Execute(const std::string& sql) override;
  std::shared_ptr<db::Recordset> OpenRecordset(const std::string& source) override;
  std::vector<std::shared_ptr<db::TableDef>> TableDefs() override;

 private:
  // The database's IDispatch; raises 91 (Nothing) or 438 (no IDispatch).
  IDispatch* Object();

  Microsoft::WRL::ComPtr<IDispatch> database_;
  bool is_nothing_;
};

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_DAO_DATABASE_H_
