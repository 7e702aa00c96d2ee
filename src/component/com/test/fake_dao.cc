// The fake DAO objects.
#include "component/com/test/fake_dao.h"

#include <utility>

#include "component/com/variant.h"
#include "platform/ascii.h"
#include "platform/wide_text_windows.h"

namespace kestle::com::test {

namespace {

const IID kDaoDatabaseIid = {
    0x00000071, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

// Base of the fakes: a counted IDispatch whose members are looked up by name
// (without regard to case) and dispatched to Call with the arguments in
// order.
class FakeObject : public IDispatch {
 public:
  FakeObject(std::vector<std::wstring> members, std::shared_ptr<DaoLog> log)
      : members_(std::move(members)), log_(std::move(log)) {}
  virtual ~FakeObject() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        (answers_database_iid_ && IsEqualIID(riid, kDaoDatabaseIid))) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    for (size_t i = 0; i < members_.size(); ++i) {
      if (_wcsicmp(members_[i].c_str(), names[0]) == 0) {
        ids[0] = static_cast<DISPID>(i + 1);
        for (UINT n = 1; n < count; ++n) ids[n] = DISPID_UNKNOWN;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
      }
    }
    log_->protocol_errors.push_back("unknown member " + Utf8(names[0]));
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT*) override {
    if (id < 1 || static_cast<size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
    std::vector<VARIANT*> args;
    for (UINT i = params->cArgs; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
    Variant ignored;
    return Call(members_[id - 1], args, result != nullptr ? result : &ignored, excep);
  }

  void set_answers_database_iid() { answers_database_iid_ = true; }

 protected:
  // Runs member `member` with `args` (first argument first).
  virtual HRESULT Call(const std::wstring& member, const std::vector<VARIANT*>& args,
                       VARIANT* result, EXCEPINFO* excep) = 0;

  DaoLog& log() { return *log_; }
  const std::shared_ptr<DaoLog>& shared_log() { return log_; }

  // Raises a DAO error the way DAO's IDispatch does.
  static HRESULT Raise(EXCEPINFO* excep, const DaoFailure& failure) {
    if (excep != nullptr) {
      ZeroMemory(excep, sizeof(*excep));
      if (failure.as_wcode) {
        excep->wCode = static_cast<WORD>(failure.number);
      } else {
        excep->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, failure.number);
      }
      excep->bstrSource = SysAllocString(L"DAO.Database");
      excep->bstrDescription = SysAllocString(Wide(failure.description).c_str());
    }
    return DISP_E_EXCEPTION;
  }

  static void SetText(VARIANT* result, const std::string& text) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(Wide(text).c_str());
  }
  static void SetObject(VARIANT* result, IDispatch* object) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;  // takes over the creation reference
  }

  // Notes a protocol error unless `arg` is an omitted optional argument.
  void ExpectOmitted(const VARIANT* arg, const char* what) {
    if (V_VT(arg) != VT_ERROR || V_ERROR(arg) != DISP_E_PARAMNOTFOUND) {
      log().protocol_errors.push_back(std::string(what) + " not passed as omitted");
    }
  }

 private:
  ULONG refs_ = 1;
  std::vector<std::wstring> members_;
  std::shared_ptr<DaoLog> log_;
  bool answers_database_iid_ = false;
};

std::string TextArg(const VARIANT* arg) {
  Variant copy;
  if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(arg), 0, VT_BSTR))) return "";
  return Utf8(std::wstring(V_BSTR(&copy), SysStringLen(V_BSTR(&copy))));
}

// A Field or a TableDef: members that read as fixed texts.
class FakeProperties : public FakeObject {
 public:
  FakeProperties(std::vector<std::pair<std::wstring, std::string>> values,
                 std::shared_ptr<DaoLog> log)
      : FakeObject(Names(values), std::move(log)), values_(std::move(values)) {}

 protected:
  HRESULT Call(const std::wstring& member, const std::vector<VARIANT*>&, VARIANT* result,
               EXCEPINFO*) override {
    for (const auto& [name, value] : values_) {
      if (name == member) SetText(result, value);
    }
    return S_OK;
  }

 private:
  static std::vector<std::wstring> Names(
      const std::vector<std::pair<std::wstring, std::string>>& values) {
    std::vector<std::wstring> names;
    for (const auto& value : values) names.push_back(value.first);
    return names;
  }

  std::vector<std::pair<std::wstring, std::string>> values_;
};

// Fields or TableDefs: a collection of FakeProperties, each with "Name" as
// its first member, whose Item takes a position (from 0) or a name without
// regard to case.
class FakeCollection : public FakeObject {
 public:
  using Entry = std::vector<std::pair<std::wstring, std::string>>;
  FakeCollection(std::vector<Entry> entries, std::shared_ptr<DaoLog> log)
      : FakeObject({L"Item", L"Count"}, std::move(log)), entries_(std::move(entries)) {}

 protected:
  HRESULT Call(const std::wstring& member, const std::vector<VARIANT*>& args, VARIANT* result,
               EXCEPINFO* excep) override {
    if (member == L"Count") {
      V_VT(result) = VT_I4;
      V_I4(result) = static_cast<LONG>(entries_.size());
      return S_OK;
    }
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    const bool by_position = V_VT(args[0]) != VT_BSTR && V_VT(args[0]) != (VT_BYREF | VT_BSTR);
    const std::string key = TextArg(args[0]);
    for (size_t i = 0; i < entries_.size(); ++i) {
      const std::string& name = entries_[i].front().second;
      if (by_position ? key == std::to_string(i) : ascii::EqualsNoCase(name, key)) {
        SetObject(result, new FakeProperties(entries_[i], shared_log()));
        return S_OK;
      }
    }
    return Raise(excep, {3265, "Item not found in this collection."});
  }

 private:
  std::vector<Entry> entries_;
};

class FakeRecordset : public FakeObject {
 public:
  FakeRecordset(std::vector<Row> rows, std::shared_ptr<DaoLog> log)
      : FakeObject({L"EOF", L"MoveFirst", L"MoveNext", L"Fields"}, std::move(log)),
        rows_(std::move(rows)) {}

 protected:
  HRESULT Call(const std::wstring& member, const std::vector<VARIANT*>&, VARIANT* result,
               EXCEPINFO* excep) override {
    bool eof = current_ >= rows_.size();
    if (member == L"EOF") {
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = eof ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (member == L"MoveFirst") {
      if (rows_.empty()) {
        log().protocol_errors.push_back("MoveFirst on an empty record set");
        return Raise(excep, {3021, "No current record."});
      }
      current_ = 0;
    } else if (member == L"MoveNext") {
      if (eof) return Raise(excep, {3021, "No current record."});
      ++current_;
    } else {  // Fields
      if (eof) return Raise(excep, {3021, "No current record."});
      std::vector<FakeCollection::Entry> fields;
      for (const auto& [name, value] : rows_[current_]) {
        fields.push_back({{L"Name", name}, {L"Value", value}});
      }
      SetObject(result, new FakeCollection(std::move(fields), shared_log()));
    }
    return S_OK;
  }

 private:
  std::vector<Row> rows_;
  size_t current_ = 0;
};

class FakeDatabase : public FakeObject {
 public:
  FakeDatabase(std::shared_ptr<DaoScript> script, std::shared_ptr<DaoLog> log)
      : FakeObject({L"Execute", L"OpenRecordset", L"TableDefs"}, std::move(log)),
        script_(std::move(script)) {
    set_answers_database_iid();
  }

 protected:
  HRESULT Call(const std::wstring& member, const std::vector<VARIANT*>& args, VARIANT* result,
               EXCEPINFO* excep) override {
    if (member == L"TableDefs") {
      std::vector<FakeCollection::Entry> defs;
      for (const auto& [name, connect] : script_->tables) {
        defs.push_back({{L"Name", name}, {L"Connect", connect}});
      }
      SetObject(result, new FakeCollection(std::move(defs), shared_log()));
      return S_OK;
    }
    if (args.empty()) return DISP_E_BADPARAMCOUNT;
    std::string text = TextArg(args[0]);
    if (member == L"Execute") {
      if (args.size() != 2) log().protocol_errors.push_back("Execute with other than 2 arguments");
      for (size_t i = 1; i < args.size(); ++i) ExpectOmitted(args[i], "Execute Options");
      log().statements.push_back("EXECUTE " + text);
      if (script_->fail) {
        DaoFailure failure = script_->fail(text);
        if (failure.number != 0) return Raise(excep, failure);
      }
      if (script_->on_execute) script_->on_execute(text);
      return S_OK;
    }
    // OpenRecordset
    if (args.size() != 4) {
      log().protocol_errors.push_back("OpenRecordset with other than 4 arguments");
    }
    for (size_t i = 1; i < args.size(); ++i) ExpectOmitted(args[i], "OpenRecordset option");
    log().statements.push_back("OPEN " + text);
    if (script_->fail) {
      DaoFailure failure = script_->fail(text);
      if (failure.number != 0) return Raise(excep, failure);
    }
    std::vector<Row> rows = script_->rows ? script_->rows(text) : std::vector<Row>();
    SetObject(result, new FakeRecordset(std::move(rows), shared_log()));
    return S_OK;
  }

 private:
  std::shared_ptr<DaoScript> script_;
};

}  // namespace

IDispatch* NewFakeDatabase(std::shared_ptr<DaoScript> script, std::shared_ptr<DaoLog> log) {
  return new FakeDatabase(std::move(script), std::move(log));
}

ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

std::string Utf8(const std::wstring& text) { return Utf8FromWide(text.data(), text.size()); }

std::wstring Wide(const std::string& text) { return WideFromUtf8(text); }

}  // namespace kestle::com::test
