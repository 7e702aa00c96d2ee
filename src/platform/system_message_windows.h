// The text Windows gives for a system error code or HRESULT. Windows builds
// only.
#ifndef KESTLE_PLATFORM_SYSTEM_MESSAGE_WINDOWS_H_
#define KESTLE_PLATFORM_SYSTEM_MESSAGE_WINDOWS_H_

#include <string>

namespace kestle {

// The system's message for `code` (a Win32 error code or an HRESULT) in
// UTF-8, its closing line break and blanks removed; "" when the system has
// none, so that each caller supplies its own fallback.
std::string SystemMessage(unsigned long code);

}  // namespace kestle

#endif  // KESTLE_PLATFORM_SYSTEM_MESSAGE_WINDOWS_H_
