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

}  // namespace

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

namespace {

std::string NameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  Variant name;
  V_VT(&name) = VT_BSTR;
  info->GetDocumentation(id, &V_BSTR(&name), nullptr, nullptr, nullptr);
  return Utf8(V_BSTR(&name));
}

// The identity and version of the library that holds `info`'s type.
TLIBATTR LibraryOf(ITypeInfo* info) {
  TLIBATTR result = {};
  ComPtr<ITypeLib> library;
  UINT index = 0;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(info->GetContainingTypeLib(&library, &index)) &&
      SUCCEEDED(library->GetLibAttr(&attr))) {
    result = *attr;
    library->ReleaseTLibAttr(attr);
  }
  return result;
}

// The type that implemented type `index` of `info` refers to (-1: the
// vtable view of a dual interface), or null.
ComPtr<ITypeInfo> Implemented(ITypeInfo* info, UINT index) {
  HREFTYPE ref = 0;
  ComPtr<ITypeInfo> type;
  if (SUCCEEDED(info->GetRefTypeOfImplType(index, &ref))) info->GetRefTypeInfo(ref, &type);
  return type;
}

// The GUID of the type `info` describes.
GUID GuidOf(ITypeInfo* info) {
  GUID guid = {};
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attr))) {
    guid = attr->guid;
    info->ReleaseTypeAttr(attr);
  }
  return guid;
}

// Checks that `desc` (a parameter's type) points to DAO's Database through
// two pointers, the Database coming from the imported DAO library.
void CheckDatabaseType(ITypeInfo* info, const TYPEDESC& desc) {
  ComPtr<ITypeInfo> database;
  if (!CHECK(desc.vt == VT_PTR && desc.lptdesc->vt == VT_PTR &&
             desc.lptdesc->lptdesc->vt == VT_USERDEFINED &&
             SUCCEEDED(info->GetRefTypeInfo(desc.lptdesc->lptdesc->hreftype, &database)))) {
    return;
  }
  CHECK_EQ(NameOf(database.Get()), "Database");
  CHECK(IsEqualIID(GuidOf(database.Get()), kDaoDatabaseIid));
  const TLIBATTR lib = LibraryOf(database.Get());
  CHECK(IsEqualGUID(lib.guid, kDaoLibId) && lib.wMajorVerNum == 4 && lib.wMinorVerNum == 0);
}

// Checks the vtable view of a dual interface against `expected`.
void CheckMembers(ITypeInfo* info, const Interface& expected) {
  TYPEATTR* attr = nullptr;
  if (!CHECK(SUCCEEDED(info->GetTypeAttr(&attr)))) return;
  CHECK_EQ(attr->typekind, TKIND_INTERFACE);
  CHECK_EQ(attr->wTypeFlags, kDualFlags);
  CHECK_EQ(attr->cFuncs, static_cast<WORD>(expected.methods.size()));
  CHECK_EQ(attr->cImplTypes, 1);
  WORD funcs = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  // The base interface is stdole2's IDispatch.
  ComPtr<ITypeInfo> base = Implemented(info, 0);
  if (CHECK(base)) {
    CHECK_EQ(NameOf(base.Get()), "IDispatch");
    const TLIBATTR lib = LibraryOf(base.Get());
    CHECK(IsEqualGUID(lib.guid, kStdOleLibId) && lib.wMajorVerNum == 2);
  }

  for (WORD i = 0; i < funcs && i < expected.methods.size(); ++i) {
    const Method& method = expected.methods[i];
    FUNCDESC* func = nullptr;
    if (!CHECK(SUCCEEDED(info->GetFuncDesc(i, &func)))) continue;
    CHECK_EQ(static_cast<unsigned long>(func->memid), 0x60030000ul + i);
    CHECK_EQ(func->callconv, CC_STDCALL);
    // The vtable slot follows the seven of IUnknown and IDispatch.
    CHECK_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    CHECK_EQ(func->invkind, INVOKE_FUNC);
    CHECK_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
    CHECK_EQ(func->cParamsOpt, 0);
    CHECK_EQ(func->cParams, static_cast<SHORT>(method.params.size()));
    CHECK_EQ(NameOf(info, func->memid), Utf8(method.name));
    BSTR names[16] = {};  // the method's name, then its parameters' names
    UINT count = 0;
    info->GetNames(func->memid, names, 16, &count);
    for (SHORT p = 0; p < func->cParams && p < static_cast<SHORT>(method.params.size()); ++p) {
      const Param& param = method.params[p];
      const ELEMDESC& elem = func->lprgelemdescParam[p];
      if (static_cast<UINT>(p + 1) < count) CHECK_EQ(Utf8(names[p + 1]), Utf8(param.name));
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
  ComPtr<ITypeLib> library;
  if (!CHECK(SUCCEEDED(LoadRegTypeLib(kLibId, 1, 0, 0, &library)))) return;
  TLIBATTR* lib = nullptr;
  if (CHECK(SUCCEEDED(library->GetLibAttr(&lib)))) {
    // Locale and system kind are checked on the library file by the test script.
    CHECK(lib->wMajorVerNum == 1 && lib->wMinorVerNum == 0);
    library->ReleaseTLibAttr(lib);
  }
  Variant name, doc, help_file;
  V_VT(&name) = V_VT(&doc) = V_VT(&help_file) = VT_BSTR;
  DWORD help_context = 1;
  library->GetDocumentation(-1, &V_BSTR(&name), &V_BSTR(&doc), &help_context, &V_BSTR(&help_file));
  CHECK_EQ(Utf8(V_BSTR(&name)), "Kestle");
  CHECK_EQ(Utf8(V_BSTR(&doc)), "Orvanta Kestle ActiveX Component");
  CHECK(V_BSTR(&help_file) == nullptr && help_context == 0);

  const std::vector<Interface> expected = ExpectedInterfaces();
  CHECK_EQ(library->GetTypeInfoCount(), static_cast<UINT>(expected.size() * 2));
  for (size_t k = 0; k < expected.size(); ++k) {
    const Interface& e = expected[k];
    ComPtr<ITypeInfo> dispatch, coclass;
    if (!CHECK(SUCCEEDED(library->GetTypeInfo(static_cast<UINT>(2 * k), &dispatch)) &&
               SUCCEEDED(library->GetTypeInfo(static_cast<UINT>(2 * k + 1), &coclass)))) {
      continue;
    }
    CHECK_EQ(NameOf(dispatch.Get()), Utf8(e.name));
    CHECK_EQ(NameOf(coclass.Get()), Utf8(e.coclass));

    TYPEATTR* attr = nullptr;
    dispatch->GetTypeAttr(&attr);
    // The dispatch view's flags are the build's own check of the library.
    CHECK_EQ(attr->typekind, TKIND_DISPATCH);
    CHECK(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0);
    dispatch->ReleaseTypeAttr(attr);

    coclass->GetTypeAttr(&attr);
    CHECK_EQ(attr->typekind, TKIND_COCLASS);
    CHECK_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE);
    CHECK_EQ(attr->cImplTypes, 1);
    CHECK(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0);
    coclass->ReleaseTypeAttr(attr);
    INT impl_flags = 0;
    coclass->GetImplTypeFlags(0, &impl_flags);
    CHECK_EQ(impl_flags, IMPLTYPEFLAG_FDEFAULT);
    ComPtr<ITypeInfo> implemented = Implemented(coclass.Get(), 0);
    CHECK(implemented && IsEqualIID(GuidOf(implemented.Get()), GuidOf(dispatch.Get())));

    ComPtr<ITypeInfo> vtable = Implemented(dispatch.Get(), static_cast<UINT>(-1));
    if (CHECK(vtable)) CheckMembers(vtable.Get(), e);
  }
}

}  // namespace kestle::com::test
