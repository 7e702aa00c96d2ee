// Process-wide state of the automation server: the library's module handle
// and the counts that DllCanUnloadNow reports on.
#ifndef KESTLE_COMPONENT_COM_MODULE_H_
#define KESTLE_COMPONENT_COM_MODULE_H_

#include <string>

#include "platform/windows_headers.h"

namespace kestle::com {

// Set once by DllMain when the library is loaded.
void SetModuleHandle(HMODULE module);
HMODULE ModuleHandle();
// The full path of Kestle.dll as loaded (empty if it cannot be read).
std::wstring ModulePath();

// Counted by every live object of the four classes.
void ObjectCreated();
void ObjectDestroyed();
// IClassFactory::LockServer.
void LockServer(bool lock);
// True when no object is alive and no class factory is locked.
bool CanUnload();

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_MODULE_H_
