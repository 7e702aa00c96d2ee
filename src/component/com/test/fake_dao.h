// A fake DAO object model for the Wine tests: Database, Recordset, Fields,
// Field, TableDefs and TableDef as late-bound IDispatch objects.
//
// The fake records every statement it receives ("EXECUTE <sql>", "OPEN
// <source>"), serves scripted rows, raises scripted DAO errors the way DAO
// does (DISP_E_EXCEPTION, scode 0x800A0000 + number), and notes any call that
// breaks DAO's calling conventions (an optional argument that is not passed
// as omitted, MoveFirst on an empty record set, an unknown member).
#ifndef KESTLE_COMPONENT_COM_TEST_FAKE_DAO_H_
#define KESTLE_COMPONENT_COM_TEST_FAKE_DAO_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows_headers.h"

namespace kestle::com::test {

// One row: field name -> text value (another name is not found, error 3265).
using Row = std::map<std::string, std::string>;

// A DAO error to raise.
struct DaoFailure {
  int number = 0;
  std::string description;
  // Raised with the number in EXCEPINFO.wCode and scode 0, as some servers do.
  bool as_wcode = false;
};

// What the fake database does; tests fill it in before a call.
struct DaoScript {
  // Rows for an OPEN of `source` (no rows by default).
  std::function<std::vector<Row>(const std::string& source)> rows;
  // A failure for a statement or source (number 0: none).
  std::function<DaoFailure(const std::string& statement)> fail;
  // Called on every EXECUTE after it was recorded (to act during a call).
  std::function<void(const std::string& sql)> on_execute;
  // TableDefs: (name, connect) in collection order.
  std::vector<std::pair<std::string, std::string>> tables;
};

// What the fake database saw.
struct DaoLog {
  std::vector<std::string> statements;
  std::vector<std::string> protocol_errors;
};

// Creates a fake Database (one reference, owned by the caller). It also
// answers QueryInterface for DAO's Database IID.
IDispatch* NewFakeDatabase(std::shared_ptr<DaoScript> script, std::shared_ptr<DaoLog> log);

// The reference count of a fake object (AddRef + Release probe).
ULONG RefCount(IUnknown* object);

// UTF-8 of a wide text and back.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

}  // namespace kestle::com::test

#endif  // KESTLE_COMPONENT_COM_TEST_FAKE_DAO_H_
