// Type-library dispatch with argument-count checks and by-reference variant
// unwrapping.
#include "component/com/dispatch.h"

#include <atomic>
#include <memory>
#include <new>
#include <vector>

#include "component/com/errors.h"
#include "component/com/module.h"
#include "component/com/objects.h"
#include "component/com/variant.h"

namespace kestle::com {

using Microsoft::WRL::ComPtr;

namespace {

// The cache: filled without a lock, since objects of several apartments may
// ask at once; a thread that loses the race to publish an entry drops its
// own copy. Type information objects are free-threaded, so one set serves
// every apartment.
std::atomic<ITypeLib*> g_library{nullptr};
std::atomic<InterfaceInfo*> g_interfaces[kClassCount] = {};

// Kestle's type library, loaded from the module on first use.
HRESULT Library(ITypeLib** library) {
  *library = g_library.load();
  if (*library != nullptr) return S_OK;
  ComPtr<ITypeLib> loaded;
  HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &loaded);
  if (FAILED(hr)) return hr;
  ITypeLib* published = nullptr;
  *library =
      g_library.compare_exchange_strong(published, loaded.Get()) ? loaded.Detach() : published;
  return S_OK;
}

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
// refuses it, since it cannot be converted in place. Only used when the
// standard dispatch cannot resolve DAO's Database type, since the
// parameter's interface never matters here: it travels as an IDispatch.
HRESULT CallThroughVtable(void* instance, const MethodShape& shape, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  // Methods are called as methods, or read like properties when they have a
  // result (as scripts do), never assigned.
  const bool has_retval = shape.retval_type != VT_EMPTY;
  if (!(flags & DISPATCH_METHOD) && !((flags & DISPATCH_PROPERTYGET) && has_retval)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  // One entry per parameter, the [out, retval] one last: the by-reference
  // argument that the method receives, and the temporary it points into
  // when the caller's value had to be converted (or for the result).
  struct CallArg {
    Variant temp;
    Variant ref;
  };
  std::vector<CallArg> args(shape.arg_count + (has_retval ? 1 : 0));
  for (UINT k = 0; k < shape.arg_count; ++k) {
    // Positional arguments only (the count check made them all present):
    // the first parameter is the last of rgvarg.
    const UINT index = params->cArgs - 1 - k;
    VARIANTARG* arg = &params->rgvarg[index];
    const VARTYPE wanted = shape.base_types[k];
    void* target = nullptr;
    if (V_VT(arg) == (VT_BYREF | wanted)) {
      target = V_BYREF(arg);
    } else if (!V_ISBYREF(arg) && SUCCEEDED(VariantChangeType(&args[k].temp, arg, 0, wanted))) {
      target = &V_I4(&args[k].temp);  // the value union's address
    } else {
      if (arg_err != nullptr) *arg_err = index;
      return DISP_E_TYPEMISMATCH;
    }
    args[k].ref = Variant::Ref(wanted, target);
  }
  if (has_retval) {
    CallArg& retval = args.back();
    V_VT(&retval.temp) = shape.retval_type;
    retval.ref = Variant::Ref(shape.retval_type, &V_I4(&retval.temp));
  }
  // DispCallFunc takes the argument types and the arguments as two arrays.
  std::vector<VARTYPE> types;
  std::vector<VARIANTARG*> refs;
  for (CallArg& arg : args) {
    types.push_back(V_VT(&arg.ref));
    refs.push_back(&arg.ref);
  }
  Variant returned;
  HRESULT hr = DispCallFunc(instance, shape.vtable_offset, CC_STDCALL, VT_ERROR,
                            static_cast<UINT>(args.size()), types.data(), refs.data(), &returned);
  if (SUCCEEDED(hr)) hr = V_ERROR(&returned);
  if (FAILED(hr)) {
    FillExcepInfo(hr, excep);
    return DISP_E_EXCEPTION;
  }
  if (has_retval && result != nullptr) {
    VariantClear(result);
    args.back().temp.Detach(result);
  }
  return S_OK;
}

}  // namespace

HRESULT CachedInterfaceInfo(const IID& iid, const InterfaceInfo** info) {
  std::atomic<InterfaceInfo*>* slot = nullptr;
  for (int i = 0; i < kClassCount; ++i) {
    if (IsEqualIID(iid, *kClasses[i].iid)) slot = &g_interfaces[i];
  }
  if (slot == nullptr) return E_INVALIDARG;
  *info = slot->load();
  if (*info != nullptr) return S_OK;

  ITypeLib* library = nullptr;
  HRESULT hr = Library(&library);
  if (FAILED(hr)) return hr;
  auto loaded = std::unique_ptr<InterfaceInfo>(new (std::nothrow) InterfaceInfo);
  if (loaded == nullptr) return E_OUTOFMEMORY;
  hr = library->GetTypeInfoOfGuid(iid, &loaded->dispatch);
  if (FAILED(hr)) return hr;
  // For a dual interface GetTypeInfoOfGuid gives the dispatch view; the
  // vtable view is its implemented type -1.
  HREFTYPE ref = 0;
  hr = loaded->dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (SUCCEEDED(hr)) hr = loaded->dispatch->GetRefTypeInfo(ref, &loaded->vtable);
  if (FAILED(hr)) return hr;
  InterfaceInfo* published = nullptr;
  *info = slot->compare_exchange_strong(published, loaded.get()) ? loaded.release() : published;
  return S_OK;
}

void ReleaseTypeInfoCache() {
  for (std::atomic<InterfaceInfo*>& slot : g_interfaces) delete slot.exchange(nullptr);
  ITypeLib* library = g_library.exchange(nullptr);
  if (library != nullptr) library->Release();
}

HRESULT TypeLibDispatch::Load() {
  return info_ != nullptr ? S_OK : CachedInterfaceInfo(iid_, &info_);
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
  return info_->dispatch.CopyTo(info);
}

HRESULT TypeLibDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(info_->vtable.Get(), names, count, ids);
}

HRESULT TypeLibDispatch::Invoke(void* instance, DISPID id, REFIID riid, WORD flags,
                                DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                UINT* arg_err) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (params == nullptr) return E_INVALIDARG;
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;

  MethodShape shape;
  if (!FindMethod(info_->vtable.Get(), id, &shape)) return DISP_E_MEMBERNOTFOUND;
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
  hr = info_->vtable->Invoke(instance, id, flags, &unwrapped, result, info, arg_err);
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
