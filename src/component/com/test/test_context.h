// What every check group of the Wine test client shares: the paths given on
// the command line and the loaded test build of Kestle.dll.
#ifndef KESTLE_COMPONENT_COM_TEST_TEST_CONTEXT_H_
#define KESTLE_COMPONENT_COM_TEST_TEST_CONTEXT_H_

#include <string>
#include <vector>

#include "platform/windows_headers.h"

#include <wrl/client.h>

namespace kestle::com::test {

struct Context {
  std::wstring dll;      // the test build of Kestle.dll
  std::wstring root;     // the source tree (golden files, IIF examples)
  std::wstring work;     // an empty scratch folder, with a closing backslash
  std::wstring box_log;  // where the test build records message boxes
  HMODULE module = nullptr;
  // False in the run without DAO's type library registered, which repeats
  // only the calls that pass a Database through Invoke.
  bool with_dao = true;
};

// A parameter: its name and the type its pointer points to (VT_DISPATCH
// stands for DAO's Database**).
struct Param {
  const wchar_t* name;
  VARTYPE type;
  bool retval = false;
};
struct Method {
  const wchar_t* name;
  std::vector<Param> params;
};
// A class's default interface and its methods in vtable order.
struct Interface {
  const wchar_t* name;
  const wchar_t* coclass;
  std::vector<Method> methods;
};
// ParseIIF, Ship_FedEx, Ship_UPS and Archiver, in the type library's order.
std::vector<Interface> ExpectedInterfaces();

// Check groups, in the order main runs them.
void CheckWindowsEnv(const Context& context);
void CheckResources(const Context& context);
void CheckRegistration(const Context& context);
void CheckTypeLibrary(const Context& context);
void CheckObjects(const Context& context);
void CheckNamesAndDispatch(const Context& context);
void CheckParseIIF(const Context& context);
void CheckArchiver(const Context& context);
void CheckBackup(const Context& context);
void CheckCalls(const Context& context);
void CheckCallingConvention(const Context& context);
void CheckUnregistration(const Context& context);

// Creates an object by ProgID and returns its IDispatch (null on failure).
Microsoft::WRL::ComPtr<IDispatch> CreateByProgId(const wchar_t* prog_id);

// The message boxes shown since the last call, as "style|title|text" lines.
std::string BoxLines(const Context& context);
// The line of a box with the application's title, without an icon (0) or
// with the stop icon (16).
std::string AppBox(unsigned style, const std::string& text);

}  // namespace kestle::com::test

#endif  // KESTLE_COMPONENT_COM_TEST_TEST_CONTEXT_H_
