// Checks of the registered type library: identity, help string, the order
// and flags of the coclasses and interfaces, and every method's dispatch
// identifier, calling convention and parameter list.
#include <string>
#include <vector>

#include "component/com/test/check.h"
#include "component/com/test/fake_dao.h"
#include "component/com/test/test_context.h"
#include "component/com/test/test_util.h"

namespace kestle::com::test {

namespace {

const GUID kLibId = {0xC5A5061F, 0x8062, 0x4236, {0x9E, 0x34, 0xF3, 0x66, 0xA8, 0xC9, 0x00, 0x08}};
const GUID kStdOleLibId = {
    0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kDaoLibId = {
    0x00025E01, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kDaoDatabaseIid = {
    0x00000071, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
// The flags of each default interface, in both of its views.
constexpr WORD kDualFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                            TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;

// A parameter: its name and the type its pointer points to (VT_DISPATCH
// stands for DAO's Database**).
struct Param {
  const wchar_t* name;
  VARTYPE type;
  bool retval = false;
};
struct Method {
  const wchar_t* name;
  std::vector<Param> params;
};
struct Interface {
  const wchar_t* name;
  const wchar_t* coclass;
  std::vector<Method> methods;
};

std::vector<Param> ShipParams() {
  std::vector<Param> params;
  for (const wchar_t* name : {L"aCompany", L"aName", L"aAddress1", L"aAddress2", L"aCity",
                              L"aState", L"aZip", L"aCountry", L"aEmail", L"aPhone"}) {
    params.push_back({name, VT_BSTR});
  }
  params.push_back({L"aDB", VT_DISPATCH});
  params.push_back({L"aHandle", VT_I4});
  return params;
}

std::vector<Interface> ExpectedInterfaces() {
  const std::vector<Param> recent = {{L"aDB", VT_DISPATCH}, {L"aHandle", VT_I4}};
  const std::vector<Param> archive = {{L"aDB", VT_DISPATCH},
                                      {L"aLPCDate", VT_DATE},
                                      {L"aEndDate", VT_DATE},
                                      {L"result", VT_I4, true}};
  return {
      {L"_ParseIIF", L"ParseIIF", {{L"parseFile", {{L"iFile", VT_BSTR}, {L"oFile", VT_BSTR}}}}},
      {L"_Ship_FedEx",
       L"Ship_FedEx",
       {{L"Open_ShipRush_FedEx", ShipParams()},
        {L"recentShipments", recent},
        {L"getLastErr", {{L"result", VT_I2, true}}},
        {L"getLastErrMsg", {{L"result", VT_BSTR, true}}}}},
      {L"_Ship_UPS",
       L"Ship_UPS",
       {{L"Open_ShipRush_UPS", ShipParams()}, {L"recentShipments", recent}}},
      {L"_Archiver",
       L"Archiver",
       {{L"backupNow",
         {{L"aDB", VT_DISPATCH},
          {L"backupPath", VT_BSTR},
          {L"backupName", VT_BSTR},
          {L"result", VT_I4, true}}},
        {L"archiveNow", archive},
        {L"archiveNowAll", archive}}},
  };
}

std::string NameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  BSTR name = nullptr;
  info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
  std::string text = name != nullptr ? Utf8(name) : "";
  SysFreeString(name);
  return text;
}

// Checks that `desc` (a parameter's type) points to DAO's Database through
// two pointers, the Database coming from the imported DAO library.
void CheckDatabaseType(ITypeInfo* info, const TYPEDESC& desc) {
  if (!CHECK(desc.vt == VT_PTR && desc.lptdesc->vt == VT_PTR &&
             desc.lptdesc->lptdesc->vt == VT_USERDEFINED)) {
    return;
  }
  ITypeInfo* database = nullptr;
  if (!CHECK(SUCCEEDED(info->GetRefTypeInfo(desc.lptdesc->lptdesc->hreftype, &database)))) return;
  CHECK_EQ(NameOf(database), "Database");
  TYPEATTR* attr = nullptr;
  database->GetTypeAttr(&attr);
  CHECK(attr != nullptr && IsEqualIID(attr->guid, kDaoDatabaseIid));
  if (attr != nullptr) database->ReleaseTypeAttr(attr);
  ITypeLib* library = nullptr;
  UINT index = 0;
  if (CHECK(SUCCEEDED(database->GetContainingTypeLib(&library, &index)))) {
    TLIBATTR* lib = nullptr;
    library->GetLibAttr(&lib);
    CHECK(lib != nullptr && IsEqualGUID(lib->guid, kDaoLibId) && lib->wMajorVerNum == 4 &&
          lib->wMinorVerNum == 0);
    if (lib != nullptr) library->ReleaseTLibAttr(lib);
    library->Release();
  }
  database->Release();
}

// Checks the vtable view of a dual interface against `expected`.
void CheckMembers(ITypeInfo* info, const Interface& expected) {
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  if (!CHECK(attr != nullptr)) return;
  CHECK_EQ(attr->typekind, TKIND_INTERFACE);
  CHECK_EQ(attr->wTypeFlags, kDualFlags);
  CHECK_EQ(attr->cFuncs, static_cast<WORD>(expected.methods.size()));
  CHECK_EQ(attr->cImplTypes, 1);
  WORD funcs = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  // The base interface is stdole2's IDispatch.
  HREFTYPE base_ref = 0;
  ITypeInfo* base = nullptr;
  if (CHECK(SUCCEEDED(info->GetRefTypeOfImplType(0, &base_ref)) &&
            SUCCEEDED(info->GetRefTypeInfo(base_ref, &base)))) {
    CHECK_EQ(NameOf(base), "IDispatch");
    ITypeLib* library = nullptr;
    UINT index = 0;
    if (SUCCEEDED(base->GetContainingTypeLib(&library, &index))) {
      TLIBATTR* lib = nullptr;
      library->GetLibAttr(&lib);
      CHECK(lib != nullptr && IsEqualGUID(lib->guid, kStdOleLibId) && lib->wMajorVerNum == 2);
      if (lib != nullptr) library->ReleaseTLibAttr(lib);
      library->Release();
    }
    base->Release();
  }

  for (WORD i = 0; i < funcs && i < expected.methods.size(); ++i) {
    const Method& method = expected.methods[i];
    FUNCDESC* func = nullptr;
    if (!CHECK(SUCCEEDED(info->GetFuncDesc(i, &func)))) continue;
    CHECK_EQ(static_cast<unsigned long>(func->memid), 0x60030000ul + i);
    CHECK_EQ(NameOf(info, func->memid), Utf8(method.name));
    CHECK_EQ(func->callconv, CC_STDCALL);
    // The vtable slot follows the seven of IUnknown and IDispatch.
    CHECK_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    CHECK_EQ(func->invkind, INVOKE_FUNC);
    CHECK_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
    CHECK_EQ(func->cParamsOpt, 0);
    CHECK_EQ(func->cParams, static_cast<SHORT>(method.params.size()));
    BSTR names[16] = {};
    UINT count = 0;
    info->GetNames(func->memid, names, 16, &count);
    for (SHORT p = 0; p < func->cParams && p < static_cast<SHORT>(method.params.size()); ++p) {
      const Param& param = method.params[p];
      const ELEMDESC& elem = func->lprgelemdescParam[p];
      if (static_cast<UINT>(p + 1) < count) {
        CHECK_EQ(Utf8(names[p + 1] != nullptr ? names[p + 1] : L""), Utf8(param.name));
      }
      USHORT flags = elem.paramdesc.wParamFlags;
      if (param.retval) {
        CHECK_EQ(p, static_cast<SHORT>(func->cParams - 1));  // the result comes last
        CHECK_EQ(flags, static_cast<USHORT>(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL));
      } else {
        CHECK_EQ(flags, static_cast<USHORT>(PARAMFLAG_FIN | PARAMFLAG_FOUT));
      }
      if (param.type == VT_DISPATCH) {
        CheckDatabaseType(info, elem.tdesc);
      } else {
        CHECK(elem.tdesc.vt == VT_PTR && elem.tdesc.lptdesc->vt == param.type);
      }
    }
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(func);
  }
}

}  // namespace

void CheckTypeLibrary(const Context&) {
  Group("type library");
  ITypeLib* library = nullptr;
  if (!CHECK(SUCCEEDED(LoadRegTypeLib(kLibId, 1, 0, 0, &library)))) return;
  TLIBATTR* lib = nullptr;
  library->GetLibAttr(&lib);
  if (CHECK(lib != nullptr)) {
    CHECK_EQ(lib->lcid, 0x0409ul);
    CHECK_EQ(lib->wMajorVerNum, 1);
    CHECK_EQ(lib->wMinorVerNum, 0);
    // Win32 for the i686 library, Win64 for the x86_64 one.
    CHECK_EQ(lib->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library->ReleaseTLibAttr(lib);
  }
  BSTR name = nullptr;
  BSTR doc = nullptr;
  BSTR help_file = nullptr;
  DWORD help_context = 1;
  library->GetDocumentation(-1, &name, &doc, &help_context, &help_file);
  CHECK_EQ(Utf8(name != nullptr ? name : L""), "Kestle");
  CHECK_EQ(Utf8(doc != nullptr ? doc : L""), "Orvanta Kestle ActiveX Component");
  CHECK(help_file == nullptr);
  CHECK_EQ(help_context, 0ul);
  SysFreeString(name);
  SysFreeString(doc);
  SysFreeString(help_file);

  const std::vector<Interface> expected = ExpectedInterfaces();
  CHECK_EQ(library->GetTypeInfoCount(), static_cast<UINT>(expected.size() * 2));
  for (size_t k = 0; k < expected.size(); ++k) {
    const Interface& e = expected[k];
    ITypeInfo* dispatch = nullptr;
    ITypeInfo* coclass = nullptr;
    if (!CHECK(SUCCEEDED(library->GetTypeInfo(static_cast<UINT>(2 * k), &dispatch)) &&
               SUCCEEDED(library->GetTypeInfo(static_cast<UINT>(2 * k + 1), &coclass)))) {
      continue;
    }
    CHECK_EQ(NameOf(dispatch), Utf8(e.name));
    CHECK_EQ(NameOf(coclass), Utf8(e.coclass));

    TYPEATTR* attr = nullptr;
    dispatch->GetTypeAttr(&attr);
    GUID iid = attr->guid;
    CHECK_EQ(attr->typekind, TKIND_DISPATCH);
    // The dispatch view carries the same five flags as the interface view
    // (checked in CheckMembers). Wine's GetTypeAttr leaves oleautomation out
    // of any dispinterface's attributes whatever the library holds, so the
    // flags as stored come from ITypeInfo2::GetTypeFlags.
    CHECK_EQ(attr->wTypeFlags | TYPEFLAG_FOLEAUTOMATION, kDualFlags);
    CHECK(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0);
    dispatch->ReleaseTypeAttr(attr);
    ITypeInfo2* dispatch2 = nullptr;
    ULONG stored = 0;
    if (CHECK(SUCCEEDED(
            dispatch->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&dispatch2))))) {
      CHECK_HR(dispatch2->GetTypeFlags(&stored), S_OK);
      CHECK_EQ(stored, static_cast<ULONG>(kDualFlags));
      dispatch2->Release();
    }

    coclass->GetTypeAttr(&attr);
    CHECK_EQ(attr->typekind, TKIND_COCLASS);
    CHECK_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
    CHECK_EQ(attr->cImplTypes, 1);
    CHECK(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0);
    coclass->ReleaseTypeAttr(attr);
    INT impl_flags = 0;
    coclass->GetImplTypeFlags(0, &impl_flags);
    CHECK_EQ(impl_flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ITypeInfo* implemented = nullptr;
    if (SUCCEEDED(coclass->GetRefTypeOfImplType(0, &ref)) &&
        SUCCEEDED(coclass->GetRefTypeInfo(ref, &implemented))) {
      TYPEATTR* impl_attr = nullptr;
      implemented->GetTypeAttr(&impl_attr);
      CHECK(IsEqualIID(impl_attr->guid, iid));
      implemented->ReleaseTypeAttr(impl_attr);
      implemented->Release();
    }

    ITypeInfo* vtable = nullptr;
    if (CHECK(SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
              SUCCEEDED(dispatch->GetRefTypeInfo(ref, &vtable)))) {
      CheckMembers(vtable, e);
      vtable->Release();
    }
    dispatch->Release();
    coclass->Release();
  }
  library->Release();
}

}  // namespace kestle::com::test
