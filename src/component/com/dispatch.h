// IDispatch served from Kestle's embedded type library.
//
// TypeLibDispatch answers the four IDispatch methods of one dual interface.
// Invoke checks what the standard type-library dispatch leaves out (the
// argument count), accepts arguments that scripts pass as references to
// variants, and then lets ITypeInfo::Invoke convert the arguments and call
// the method through the object's dual vtable. When the standard dispatch
// cannot resolve DAO's Database type (DAO 3.5's library not registered on
// the machine), methods with a database parameter are called through the
// vtable directly, with the same conversions.
//
// The interfaces' descriptions come from a process-wide cache (as ATL's
// CComTypeInfoHolder and Wine's own automation DLLs keep theirs): the type
// library is loaded once, on first use by any object in any apartment, and
// released when the library is unloaded.
#ifndef KESTLE_COMPONENT_COM_DISPATCH_H_
#define KESTLE_COMPONENT_COM_DISPATCH_H_

#include "platform/windows_headers.h"

#include <wrl/client.h>

namespace kestle::com {

// The two descriptions of one dual interface: the dispatch view handed to
// callers and the vtable view that Invoke calls through.
struct InterfaceInfo {
  Microsoft::WRL::ComPtr<ITypeInfo> dispatch;
  Microsoft::WRL::ComPtr<ITypeInfo> vtable;
};

// The cached descriptions of dual interface `iid`, loading them on first
// use; they stay valid until ReleaseTypeInfoCache. Safe on any thread.
HRESULT CachedInterfaceInfo(const IID& iid, const InterfaceInfo** info);
// Releases the cache. Called when the library is unloaded (no object of it
// is alive then).
void ReleaseTypeInfoCache();

class TypeLibDispatch {
 public:
  // `iid` names a dual interface of the type library.
  explicit TypeLibDispatch(const IID& iid) : iid_(iid) {}
  TypeLibDispatch(const TypeLibDispatch&) = delete;
  TypeLibDispatch& operator=(const TypeLibDispatch&) = delete;

  HRESULT GetTypeInfoCount(UINT* count);
  // The dispatch description of the interface (index 0 only).
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info);
  // Method and parameter names, without regard to case.
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
  // Calls member `id` on `instance`, the object's dual interface pointer.
  HRESULT Invoke(void* instance, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* excep, UINT* arg_err);

 private:
  // Finds the interface's descriptions in the cache on first use.
  HRESULT Load();

  IID iid_;
  const InterfaceInfo* info_ = nullptr;
};

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_DISPATCH_H_
