// The Windows and OLE Automation headers as every Windows-only file (the
// Windows Env, the automation shell) includes them. Windows builds only.
#ifndef KESTLE_PLATFORM_WINDOWS_HEADERS_H_
#define KESTLE_PLATFORM_WINDOWS_HEADERS_H_

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

// windows.h first: the OLE headers build on its types.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#endif  // KESTLE_PLATFORM_WINDOWS_HEADERS_H_
