// How a failed method crosses the automation boundary: the error's number as
// the HRESULT 0x800A0000 + number (FACILITY_CONTROL, the form of the
// host's run-time errors) and its description in the thread's error
// information, where ISupportErrorInfo callers and ITypeInfo::Invoke find it.
#ifndef KESTLE_COMPONENT_COM_ERRORS_H_
#define KESTLE_COMPONENT_COM_ERRORS_H_

#include <string>

#include "platform/windows_headers.h"

namespace kestle::com {

// The HRESULT of run-time error `number`: 0x800A0000 + number.
HRESULT HresultFromErrorNumber(int number);

// Sets the thread's error information (interface `iid`, source `source`,
// `description` in UTF-8) and returns HresultFromErrorNumber(number). Throws
// nothing: without memory for the description the call fails without one.
HRESULT FailCall(int number, const std::string& description, REFIID iid,
                 const wchar_t* source) noexcept;

// FailCall for the exception being handled, as CurrentError sees it (a
// RuntimeError as it is, std::bad_alloc as error 7, anything else as error
// 51). Call only inside a catch block. Throws nothing, so that no C++
// exception leaves a method of the automation interface.
HRESULT FailCurrentCall(REFIID iid, const wchar_t* source) noexcept;

// Fills `excep` from the thread's error information for a call that failed
// with `hr` (the scode); used when a dual method's failure surfaces through
// IDispatch::Invoke.
void FillExcepInfo(HRESULT hr, EXCEPINFO* excep);

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_ERRORS_H_
