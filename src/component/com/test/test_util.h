// Helpers of the Wine test client: building IDispatch calls, reading the
// message-box log of the test build, files and dates.
#ifndef KESTLE_COMPONENT_COM_TEST_TEST_UTIL_H_
#define KESTLE_COMPONENT_COM_TEST_TEST_UTIL_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/windows_headers.h"

namespace kestle::com::test {

// Arguments of one IDispatch call, first argument first. Owns its values.
class CallArgs {
 public:
  CallArgs() = default;
  CallArgs(const CallArgs&) = delete;
  CallArgs& operator=(const CallArgs&) = delete;
  ~CallArgs();

  CallArgs& Text(const std::wstring& text);
  CallArgs& Date(DATE date);
  CallArgs& Long(LONG value);
  CallArgs& Object(IDispatch* object);  // takes its own reference
  // VT_BYREF|VT_VARIANT to the caller's variant, as scripts pass variables.
  CallArgs& VariantRef(VARIANT* target);
  // VT_BYREF|`type` to the caller's value of that type.
  CallArgs& Ref(VARTYPE type, void* target);

  // The DISPPARAMS of the call (arguments last first), valid while *this is.
  DISPPARAMS* Params();

 private:
  // Appends an argument of `type` and returns it for its value.
  VARIANT& Push(VARTYPE type);

  std::vector<VARIANT> values_;
  std::vector<VARIANT> reversed_;
  DISPPARAMS params_ = {};
};

// The outcome of one Invoke.
struct Outcome {
  Outcome();
  ~Outcome();
  Outcome(const Outcome&) = delete;
  Outcome& operator=(const Outcome&) = delete;

  std::string Description() const;

  HRESULT hr = E_FAIL;
  VARIANT value;
  EXCEPINFO excep;
  UINT arg_err = 0xFFFFFFFF;
};

// GetIDsOfNames for `name`; DISPID_UNKNOWN when the call fails.
DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* hr = nullptr);
// Invokes member `id` (DISPATCH_METHOD unless `flags` says otherwise).
std::unique_ptr<Outcome> InvokeId(IDispatch* object, DISPID id, CallArgs& args,
                                  WORD flags = DISPATCH_METHOD);
// Looks `name` up and invokes it.
std::unique_ptr<Outcome> InvokeName(IDispatch* object, const wchar_t* name, CallArgs& args,
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
