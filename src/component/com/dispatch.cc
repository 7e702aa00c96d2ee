// Type-library dispatch with argument-count checks and by-reference variant
// unwrapping.
#include "component/com/dispatch.h"

#include <vector>

#include "component/com/errors.h"
#include "component/com/module.h"

namespace kestle::com {

namespace {

// What Invoke needs to know of one method: how many arguments a caller
// passes (the [out, retval] parameter is not passed) and the base type of
// each parameter (the type that its pointer points to).
struct MethodShape {
  UINT arg_count = 0;
  std::vector<VARTYPE> base_types;
  bool takes_database = false;     // a parameter of DAO's Database type
  VARTYPE retval_type = VT_EMPTY;  // VT_EMPTY: no [out, retval] parameter
  SHORT vtable_offset = 0;
};

// The variant type that a parameter's declared pointer target travels as:
// BSTR, DATE, long, short, or an interface (DAO's Database) as VT_DISPATCH.
VARTYPE BaseType(const TYPEDESC& desc) {
  if (desc.vt != VT_PTR || desc.lptdesc == nullptr) return VT_EMPTY;
  const TYPEDESC& target = *desc.lptdesc;
  if (target.vt == VT_PTR || target.vt == VT_USERDEFINED) return VT_DISPATCH;  // Database**
  return target.vt;
}

// Finds method `id` in the vtable view; false when the interface lacks it.
bool FindMethod(ITypeInfo* info, DISPID id, MethodShape* shape) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return false;
  WORD count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (WORD i = 0; i < count; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) continue;
    bool found = func->memid == id;
    if (found) {
      for (SHORT p = 0; p < func->cParams; ++p) {
        const ELEMDESC& param = func->lprgelemdescParam[p];
        VARTYPE type = BaseType(param.tdesc);
        if (param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
          shape->retval_type = type;
          continue;
        }
        if (type == VT_DISPATCH) shape->takes_database = true;
        shape->base_types.push_back(type);
      }
      shape->arg_count = static_cast<UINT>(shape->base_types.size());
      shape->vtable_offset = func->oVft;
    }
    info->ReleaseFuncDesc(func);
    if (found) return true;
  }
  return false;
}

// Scripts pass their variables as VT_BYREF|VT_VARIANT, which the standard
// dispatch refuses for typed by-reference parameters. Such an argument is
// replaced by a typed reference into the caller's own variant when its type
// is the parameter's, so that anything the method writes goes straight back
// to the caller; any other value is passed by value, and the standard
// dispatch converts it into a temporary of the parameter's type.
void UnwrapVariantReference(VARIANTARG* arg, VARTYPE base_type) {
  if (V_VT(arg) != (VT_BYREF | VT_VARIANT) || V_VARIANTREF(arg) == nullptr) return;
  VARIANT* inner = V_VARIANTREF(arg);
  VARTYPE inner_type = V_VT(inner);
  if ((inner_type & VT_BYREF) != 0) {
    *arg = *inner;  // already a typed reference
    return;
  }
  if (inner_type == base_type) {
    V_VT(arg) = VT_BYREF | inner_type;
    // Every member of the value union starts at the same address.
    V_BYREF(arg) = &V_I4(inner);
  } else {
    *arg = *inner;  // a shallow copy: the dispatch never frees its arguments
  }
}

// True for the failures with which the standard dispatch reports that it
// cannot resolve an imported type: DAO's library is not registered under
// the version the type library names (a host on a later DAO, say).
bool IsUnresolvedImport(HRESULT hr) {
  return hr == DISP_E_BADVARTYPE || hr == TYPE_E_LIBNOTREGISTERED || hr == TYPE_E_CANTLOADLIBRARY ||
         hr == TYPE_E_ELEMENTNOTFOUND;
}

// Calls method `shape` through the object's vtable with DispCallFunc, doing
// the standard dispatch's work for the few types that the classes use: each
// argument is passed by reference into the caller's variant when it has the
// parameter's type, or converted into a temporary of that type when passed by
// value. A reference of another type is refused as the standard dispatch
// refuses it, since it cannot be converted in place. Only used
// when the standard dispatch cannot resolve DAO's Database type, since the
// parameter's interface never matters here: it travels as an IDispatch.
HRESULT CallThroughVtable(void* instance, const MethodShape& shape, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  // Methods are called as methods, or read like properties when they have a
  // result (as scripts do), never assigned.
  const bool has_retval = shape.retval_type != VT_EMPTY;
  if (!(flags & DISPATCH_METHOD) && !((flags & DISPATCH_PROPERTYGET) && has_retval)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const UINT n = shape.arg_count;
  std::vector<VARIANT> temps(n + 1);
  for (VARIANT& v : temps) VariantInit(&v);
  std::vector<VARIANTARG> call_args(n + 1);
  std::vector<VARIANTARG*> call_arg_ptrs(n + 1);
  std::vector<VARTYPE> call_types(n + 1);
  HRESULT hr = S_OK;
  for (UINT k = 0; k < n && SUCCEEDED(hr); ++k) {
    // Positional arguments only (the count check made them all present):
    // the first parameter is the last of rgvarg.
    UINT index = params->cArgs - 1 - k;
    VARIANTARG* arg = &params->rgvarg[index];
    const VARTYPE wanted = shape.base_types[k];
    void* target = nullptr;
    if (V_VT(arg) == (VT_BYREF | wanted)) {
      target = V_BYREF(arg);
    } else {
      hr = V_ISBYREF(arg) ? DISP_E_TYPEMISMATCH : VariantChangeType(&temps[k], arg, 0, wanted);
      if (FAILED(hr)) {
        if (arg_err != nullptr) *arg_err = index;
        hr = DISP_E_TYPEMISMATCH;
        break;
      }
      target = &V_I4(&temps[k]);  // the value union's address
    }
    VariantInit(&call_args[k]);
    V_VT(&call_args[k]) = VT_BYREF | wanted;
    V_BYREF(&call_args[k]) = target;
  }
  if (SUCCEEDED(hr)) {
    UINT count = n;
    if (has_retval) {
      V_VT(&temps[n]) = shape.retval_type;
      VariantInit(&call_args[n]);
      V_VT(&call_args[n]) = VT_BYREF | shape.retval_type;
      V_BYREF(&call_args[n]) = &V_I4(&temps[n]);
      ++count;
    }
    for (UINT k = 0; k < count; ++k) {
      call_types[k] = V_VT(&call_args[k]);
      call_arg_ptrs[k] = &call_args[k];
    }
    VARIANT returned;
    VariantInit(&returned);
    hr = DispCallFunc(instance, shape.vtable_offset, CC_STDCALL, VT_ERROR, count, call_types.data(),
                      call_arg_ptrs.data(), &returned);
    if (SUCCEEDED(hr)) hr = V_ERROR(&returned);
    if (FAILED(hr)) {
      FillExcepInfo(hr, excep);
      hr = DISP_E_EXCEPTION;
    } else if (has_retval && result != nullptr) {
      VariantClear(result);
      *result = temps[n];  // hands the value over
      VariantInit(&temps[n]);
    }
  }
  for (VARIANT& v : temps) VariantClear(&v);
  return hr;
}

}  // namespace

TypeLibDispatch::~TypeLibDispatch() {
  if (dispatch_info_ != nullptr) dispatch_info_->Release();
  if (vtable_info_ != nullptr) vtable_info_->Release();
}

HRESULT TypeLibDispatch::Load() {
  if (vtable_info_ != nullptr) return S_OK;
  std::wstring path = ModulePath();
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  ITypeInfo* dispatch_info = nullptr;
  hr = library->GetTypeInfoOfGuid(iid_, &dispatch_info);
  library->Release();
  if (FAILED(hr)) return hr;
  // For a dual interface GetTypeInfoOfGuid gives the dispatch view; the
  // vtable view is its implemented type -1.
  ITypeInfo* vtable_info = nullptr;
  HREFTYPE ref = 0;
  hr = dispatch_info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (SUCCEEDED(hr)) hr = dispatch_info->GetRefTypeInfo(ref, &vtable_info);
  if (FAILED(hr)) {
    dispatch_info->Release();
    return hr;
  }
  dispatch_info_ = dispatch_info;
  vtable_info_ = vtable_info;
  return S_OK;
}

HRESULT TypeLibDispatch::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TypeLibDispatch::GetTypeInfo(UINT index, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  dispatch_info_->AddRef();
  *info = dispatch_info_;
  return S_OK;
}

HRESULT TypeLibDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(vtable_info_, names, count, ids);
}

HRESULT TypeLibDispatch::Invoke(void* instance, DISPID id, REFIID riid, WORD flags,
                                DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                UINT* arg_err) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (params == nullptr) return E_INVALIDARG;
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;

  MethodShape shape;
  if (!FindMethod(vtable_info_, id, &shape)) return DISP_E_MEMBERNOTFOUND;
  // The standard dispatch lets surplus arguments through; refuse them here.
  if (params->cArgs != shape.arg_count) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;

  std::vector<VARIANTARG> args(params->rgvarg, params->rgvarg + params->cArgs);
  for (UINT i = 0; i < params->cArgs; ++i) {
    // Named arguments come first and name their parameter; the positional
    // ones follow in reverse order.
    UINT param = i < params->cNamedArgs ? static_cast<UINT>(params->rgdispidNamedArgs[i])
                                        : params->cArgs - 1 - i;
    if (param >= shape.base_types.size()) continue;
    UnwrapVariantReference(&args[i], shape.base_types[param]);
  }
  DISPPARAMS unwrapped = *params;
  unwrapped.rgvarg = args.empty() ? nullptr : args.data();

  EXCEPINFO local_excep;
  EXCEPINFO* info = excep != nullptr ? excep : &local_excep;
  ZeroMemory(info, sizeof(*info));
  hr = vtable_info_->Invoke(instance, id, flags, &unwrapped, result, info, arg_err);
  if (IsUnresolvedImport(hr) && shape.takes_database && params->cNamedArgs == 0) {
    hr = CallThroughVtable(instance, shape, flags, &unwrapped, result, info, arg_err);
  }
  if (hr == DISP_E_EXCEPTION) {
    if (info->pfnDeferredFillIn != nullptr) {
      info->pfnDeferredFillIn(info);
      info->pfnDeferredFillIn = nullptr;
    }
  } else if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_CONTROL) {
    // A method's own failure that the standard dispatch handed back as is.
    FillExcepInfo(hr, info);
    hr = DISP_E_EXCEPTION;
  }
  if (info == &local_excep) {
    SysFreeString(local_excep.bstrSource);
    SysFreeString(local_excep.bstrDescription);
    SysFreeString(local_excep.bstrHelpFile);
  }
  return hr;
}

}  // namespace kestle::com
