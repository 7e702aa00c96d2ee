// Self-registration of Kestle.dll: the registry entries of the type library,
// the four classes and their ProgIDs, and the four dual interfaces, for the
// whole machine or for the current user only.
#ifndef KESTLE_COMPONENT_COM_REGISTRATION_H_
#define KESTLE_COMPONENT_COM_REGISTRATION_H_

#include "platform/windows_headers.h"

namespace kestle::com {

// Where the entries go: HKEY_CLASSES_ROOT (the machine, which takes
// administrator rights) or HKEY_CURRENT_USER\Software\Classes (the current
// user, which COM reads before the machine's entries; no rights needed).
enum class Scope { kMachine, kUser };

// Writes every entry (replacing what an earlier registration wrote).
// Returns S_OK, or the failure of the first entry that cannot be written.
HRESULT RegisterServer(Scope scope = Scope::kMachine);
// Removes exactly the entries that RegisterServer writes in `scope`; entries
// already gone are not an error. Returns S_OK, or the first failure.
HRESULT UnregisterServer(Scope scope = Scope::kMachine);

// The scope that regsvr32's /i:ARG names: no argument (or an empty one) the
// machine, "user" (in any case) the current user. False for anything else.
bool ScopeOfInstallArgument(const wchar_t* argument, Scope* scope);

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_REGISTRATION_H_
