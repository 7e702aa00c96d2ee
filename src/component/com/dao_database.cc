// Late-bound DAO calls for the archive, backup and shipping jobs.
#include "component/com/dao_database.h"

#include <utility>

#include "component/com/text.h"
#include "component/com/variant.h"
#include "platform/error.h"
#include "platform/system_message_windows.h"

namespace kestle::com {

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kTypeMismatch = 13;
constexpr const char* kTypeMismatchText = "Type mismatch";
constexpr const char* kAutomationErrorText = "Automation error";

// The system's text for `hr`, or "Automation error" when it has none.
std::string HresultText(HRESULT hr) {
  const std::string text = SystemMessage(static_cast<unsigned long>(hr));
  return text.empty() ? kAutomationErrorText : text;
}

// The run-time error number that an HRESULT or scode carries. Automation
// servers in the host's world (DAO among them) report their error numbers
// as FACILITY_CONTROL codes, 0x800A0000 + number: those give the number.
// Any other failure code is its own number, as a signed 32-bit value, the
// way the host's runtime shows "Automation error" numbers.
int NumberOfCode(HRESULT code) {
  if (HRESULT_FACILITY(code) == FACILITY_CONTROL) return HRESULT_CODE(code);
  return static_cast<int>(code);
}

// The run-time error for a failed Invoke. With DISP_E_EXCEPTION the server
// described the error in EXCEPINFO: a FACILITY_CONTROL scode gives the
// number (scode & 0xFFFF, DAO's own numbers arrive this way); otherwise the
// server's wCode when it set one, else the scode as a signed number. The
// description is the server's own text. Frees the strings of `excep`.
RuntimeError DaoError(HRESULT hr, EXCEPINFO* excep, const wchar_t* member) {
  int number;
  std::string description;
  if (hr == DISP_E_EXCEPTION) {
    if (excep->pfnDeferredFillIn != nullptr) excep->pfnDeferredFillIn(excep);
    if (HRESULT_FACILITY(excep->scode) == FACILITY_CONTROL || excep->wCode == 0) {
      number = NumberOfCode(excep->scode);
    } else {
      number = excep->wCode;
    }
    description = FromBstr(excep->bstrDescription);
    if (description.empty()) {
      description = excep->scode != 0 ? HresultText(excep->scode) : kAutomationErrorText;
    }
  } else {
    number = NumberOfCode(hr);
    description = HresultText(hr);
  }
  SysFreeString(excep->bstrSource);
  SysFreeString(excep->bstrDescription);
  SysFreeString(excep->bstrHelpFile);
  RuntimeError error(number, std::move(description));
  error.set_detail("DAO " + Utf8FromWide(member, wcslen(member)));
  return error;
}

// Calls member `name` of `object` with `args` (first argument first) and
// returns its result. Raises the member's error as a RuntimeError.
Variant Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Variant> args = {}) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw RuntimeError(kNoSuchMember, kNoSuchMemberText);

  // Invoke takes the arguments last first.
  std::vector<VARIANTARG> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it);
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  Variant result;
  EXCEPINFO excep;
  ZeroMemory(&excep, sizeof(excep));
  UINT arg_err = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &excep, &arg_err);
  if (FAILED(hr)) throw DaoError(hr, &excep, name);
  return result;
}

Variant Get(IDispatch* object, const wchar_t* name, std::vector<Variant> args = {}) {
  return Call(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args));
}

// The object that a member returned; raises 13 for anything else and 91 for
// Nothing.
ComPtr<IDispatch> AsObject(const Variant& value) {
  if (V_VT(&value) == VT_DISPATCH) {
    if (V_DISPATCH(&value) == nullptr) throw RuntimeError(err::kObjectNotSet);
    return V_DISPATCH(&value);
  }
  ComPtr<IDispatch> object;
  if (V_VT(&value) == VT_UNKNOWN && V_UNKNOWN(&value) != nullptr &&
      SUCCEEDED(V_UNKNOWN(&value)->QueryInterface(IID_IDispatch, &object))) {
    return object;
  }
  throw RuntimeError(kTypeMismatch, kTypeMismatchText);
}

// A value converted with the user's regional settings, as the host's runtime
// converts values; raises 13 when it cannot be converted.
void ChangeType(VARIANT* v, VARTYPE type) {
  HRESULT hr = VariantChangeTypeEx(v, v, LOCALE_USER_DEFAULT, 0, type);
  if (FAILED(hr)) throw RuntimeError(kTypeMismatch, kTypeMismatchText);
}

std::string AsText(Variant value) {
  VARIANT* v = &value;
  if (V_VT(v) == VT_NULL || V_VT(v) == VT_EMPTY) return std::string();
  ChangeType(v, VT_BSTR);
  return FromBstr(V_BSTR(v));
}

// A field value: Null, a whole number, a real number, or text for the rest
// (dates, booleans and currency as the host's runtime writes them as text).
db::Value AsValue(Variant value) {
  VARIANT* v = &value;
  switch (V_VT(v)) {
    case VT_EMPTY:
    case VT_NULL:
      return db::Value();
    case VT_BSTR:
      return db::Value(FromBstr(V_BSTR(v)));
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      ChangeType(v, VT_I8);
      return db::Value(static_cast<int64_t>(V_I8(v)));
    case VT_R4:
    case VT_R8:
      ChangeType(v, VT_R8);
      return db::Value(V_R8(v));
    default:
      ChangeType(v, VT_BSTR);
      return db::Value(FromBstr(V_BSTR(v)));
  }
}

class DaoRecordset : public db::Recordset {
 public:
  explicit DaoRecordset(ComPtr<IDispatch> recordset) : recordset_(std::move(recordset)) {}

  bool Eof() override {
    Variant eof = Get(recordset_.Get(), L"EOF");
    ChangeType(&eof, VT_BOOL);
    return V_BOOL(&eof) != VARIANT_FALSE;
  }
  void MoveFirst() override { Call(recordset_.Get(), L"MoveFirst", DISPATCH_METHOD); }
  void MoveNext() override { Call(recordset_.Get(), L"MoveNext", DISPATCH_METHOD); }
  db::Value Field(const std::string& name) override {
    ComPtr<IDispatch> fields = AsObject(Get(recordset_.Get(), L"Fields"));
    std::vector<Variant> args;
    args.push_back(Variant::Text(WideFromUtf8(name)));
    ComPtr<IDispatch> field = AsObject(Get(fields.Get(), L"Item", std::move(args)));
    return AsValue(Get(field.Get(), L"Value"));
  }

 private:
  ComPtr<IDispatch> recordset_;
};

class DaoTableDef : public db::TableDef {
 public:
  explicit DaoTableDef(ComPtr<IDispatch> table) : table_(std::move(table)) {}

  std::string Name() override { return AsText(Get(table_.Get(), L"Name")); }
  std::string Connect() override { return AsText(Get(table_.Get(), L"Connect")); }

 private:
  ComPtr<IDispatch> table_;
};

}  // namespace

DaoDatabase::DaoDatabase(IUnknown* database) : is_nothing_(database == nullptr) {
  if (database != nullptr) database->QueryInterface(IID_IDispatch, &database_);
}

IDispatch* DaoDatabase::Object() {
  if (is_nothing_) throw RuntimeError(err::kObjectNotSet);
  if (!database_) throw RuntimeError(kNoSuchMember, kNoSuchMemberText);
  return database_.Get();
}

void DaoDatabase::Execute(const std::string& sql) {
  std::vector<Variant> args;
  args.push_back(Variant::Text(WideFromUtf8(sql)));
  args.push_back(Variant::Omitted());  // Options: no dbFailOnError
  Call(Object(), L"Execute", DISPATCH_METHOD, std::move(args));
}

std::shared_ptr<db::Recordset> DaoDatabase::OpenRecordset(const std::string& source) {
  std::vector<Variant> args;
  args.push_back(Variant::Text(WideFromUtf8(source)));
  args.push_back(Variant::Omitted());  // Type
  args.push_back(Variant::Omitted());  // Options
  args.push_back(Variant::Omitted());  // LockEdit
  return std::make_shared<DaoRecordset>(
      AsObject(Call(Object(), L"OpenRecordset", DISPATCH_METHOD, std::move(args))));
}

std::vector<std::shared_ptr<db::TableDef>> DaoDatabase::TableDefs() {
  ComPtr<IDispatch> table_defs = AsObject(Get(Object(), L"TableDefs"));
  Variant count = Get(table_defs.Get(), L"Count");
  ChangeType(&count, VT_I4);
  std::vector<std::shared_ptr<db::TableDef>> tables;
  for (LONG i = 0; i < V_I4(&count); ++i) {
    std::vector<Variant> args;
    args.push_back(Variant::Long(i));
    tables.push_back(
        std::make_shared<DaoTableDef>(AsObject(Get(table_defs.Get(), L"Item", std::move(args)))));
  }
  return tables;
}

}  // namespace kestle::com
