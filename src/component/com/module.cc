// Module handle and the object and lock counts of the automation server.
#include "component/com/module.h"

#include <atomic>

namespace kestle::com {

namespace {

// Counts are process-wide because DllCanUnloadNow asks about every apartment.
std::atomic<HMODULE> g_module{nullptr};
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

}  // namespace

void SetModuleHandle(HMODULE module) { g_module = module; }

HMODULE ModuleHandle() { return g_module; }

std::wstring ModulePath() {
  // GetModuleFileNameW truncates silently when the buffer is too small, so
  // grow it until the whole path fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
}

void ObjectCreated() { ++g_objects; }

void ObjectDestroyed() { --g_objects; }

void LockServer(bool lock) {
  if (lock) {
    ++g_locks;
  } else {
    --g_locks;
  }
}

bool CanUnload() { return g_objects == 0 && g_locks == 0; }

}  // namespace kestle::com
