// Helpers of the Wine test client: building IDispatch calls, reading the
// message-box log of the test build, files and dates.
#ifndef KESTLE_COMPONENT_COM_TEST_TEST_UTIL_H_
#define KESTLE_COMPONENT_COM_TEST_TEST_UTIL_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "component/com/variant.h"
#include "platform/windows_headers.h"

#include <wrl/client.h>

namespace kestle::com::test {

using Microsoft::WRL::ComPtr;

// The arguments of one IDispatch call, first argument first.
using Args = std::vector<Variant>;

// Args of the given Variants (which cannot be copied out of an initializer
// list).
template <class... V>
Args MakeArgs(V&&... values) {
  Args args;
  (args.push_back(std::forward<V>(values)), ...);
  return args;
}

// VT_BYREF|VT_VARIANT to the caller's variant, as scripts pass variables.
inline Variant VariantRef(VARIANT* target) { return Variant::Ref(VT_VARIANT, target); }

// The outcome of one Invoke.
struct Outcome {
  Outcome() = default;
  ~Outcome();
  Outcome(const Outcome&) = delete;
  Outcome& operator=(const Outcome&) = delete;

  std::string Description() const;
  // The VT_I4 result (0x7FFFFFFF when there is none).
  LONG Long() const { return V_VT(&value) == VT_I4 ? V_I4(&value) : 0x7FFFFFFF; }

  HRESULT hr = E_FAIL;
  Variant value;
  EXCEPINFO excep = {};
  UINT arg_err = 0xFFFFFFFF;
};

// GetIDsOfNames for `name`; DISPID_UNKNOWN when the call fails.
DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* hr = nullptr);
// Invokes member `id` (DISPATCH_METHOD unless `flags` says otherwise).
std::unique_ptr<Outcome> InvokeId(IDispatch* object, DISPID id, Args args,
                                  WORD flags = DISPATCH_METHOD);
// Looks `name` up and invokes it.
std::unique_ptr<Outcome> InvokeName(IDispatch* object, const wchar_t* name, Args args,
                                    WORD flags = DISPATCH_METHOD);

// One message box recorded by the test build of Kestle.dll.
struct Box {
  unsigned style = 0;
  std::string title;
  std::string text;
};
// Reads and empties the message-box log at `path`.
std::vector<Box> TakeBoxes(const std::wstring& path);

// Whole-file read and write (bytes).
std::string ReadFileBytes(const std::wstring& path, bool* ok = nullptr);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);

// The DATE of a local calendar date and time.
DATE MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Registry: whether HKCR\`path` exists, and a value of it ("" when absent).
bool KeyExists(const std::wstring& path);
std::wstring KeyValue(const std::wstring& path, const wchar_t* name = nullptr);

std::wstring GuidText(const GUID& guid);

}  // namespace kestle::com::test

#endif  // KESTLE_COMPONENT_COM_TEST_TEST_UTIL_H_
