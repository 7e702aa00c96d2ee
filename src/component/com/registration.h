// Self-registration of Kestle.dll: the registry entries of the type library,
// the four classes and their ProgIDs, and the four dual interfaces.
#ifndef KESTLE_COMPONENT_COM_REGISTRATION_H_
#define KESTLE_COMPONENT_COM_REGISTRATION_H_

#include "platform/windows_headers.h"

namespace kestle::com {

// Writes every entry (replacing what an earlier registration wrote).
// Returns S_OK, or the failure of the first entry that cannot be written.
HRESULT RegisterServer();
// Removes exactly the entries that RegisterServer writes; entries already
// gone are not an error. Returns S_OK, or the first failure.
HRESULT UnregisterServer();

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_REGISTRATION_H_
