// The entry points of Kestle.dll: DllMain, the class factories and the four
// exports of an in-process automation server, and DllInstall (see kestle.def).
#include "component/com/dispatch.h"
#include "component/com/module.h"
#include "component/com/objects.h"
#include "component/com/registration.h"
#include "platform/windows_headers.h"

namespace kestle::com {

namespace {

// The class factory of one class. The four factories live as long as the
// library, so their reference counts do not keep it loaded; LockServer does.
class ClassFactory : public IClassFactory {
 public:
  explicit constexpr ClassFactory(const ClassInfo& info) : info_(info) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  // Every call makes a new, independent object.
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      return info_.create(riid, out);
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    com::LockServer(lock != FALSE);
    return S_OK;
  }

 private:
  const ClassInfo& info_;
};

ClassFactory g_factories[kClassCount] = {ClassFactory(kClasses[0]), ClassFactory(kClasses[1]),
                                         ClassFactory(kClasses[2]), ClassFactory(kClasses[3])};

}  // namespace

}  // namespace kestle::com

// Per-process set-up and tear-down only: remembers the module handle for the
// registration paths and the type library, and releases the cached type
// information when the library is unloaded (FreeLibrary after
// DllCanUnloadNow said yes; `reserved` is null then). At process exit
// (`reserved` set) the system reclaims everything, and OLE may be gone
// already, so nothing is released. Runs none of the classes' code. Thread
// notifications stay on: the statically linked runtime frees its per-thread
// data (exception state) when a thread detaches.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) kestle::com::SetModuleHandle(instance);
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) kestle::com::ReleaseTypeInfoCache();
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (int i = 0; i < kestle::com::kClassCount; ++i) {
    if (IsEqualCLSID(clsid, *kestle::com::kClasses[i].clsid)) {
      return kestle::com::g_factories[i].QueryInterface(riid, out);
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return kestle::com::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  try {
    return kestle::com::RegisterServer();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return kestle::com::UnregisterServer();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// regsvr32 /i[:ARG] calls DllInstall, after DllRegisterServer unless /n is
// given too (and with /u, after DllUnregisterServer). `regsvr32 /n /i:user`
// registers for the current user only, without administrator rights, and
// `regsvr32 /u /n /i:user` removes that registration; without an argument
// the machine's registration is written or removed. Any other argument is
// E_INVALIDARG.
STDAPI DllInstall(BOOL install, PCWSTR command_line) {
  kestle::com::Scope scope;
  if (!kestle::com::ScopeOfInstallArgument(command_line, &scope)) return E_INVALIDARG;
  try {
    return install ? kestle::com::RegisterServer(scope) : kestle::com::UnregisterServer(scope);
  } catch (...) {
    return E_UNEXPECTED;
  }
}
