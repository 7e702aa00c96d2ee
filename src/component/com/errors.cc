// Error information for failed calls.
#include "component/com/errors.h"

#include <wrl/client.h>

#include "component/com/text.h"
#include "platform/error.h"

namespace kestle::com {

using Microsoft::WRL::ComPtr;

HRESULT HresultFromErrorNumber(int number) {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number) & 0xFFFF);
}

HRESULT FailCall(int number, const std::string& description, REFIID iid,
                 const wchar_t* source) noexcept {
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    try {
      std::wstring wide = WideFromUtf8(description);
      create->SetDescription(wide.data());
    } catch (...) {
      // Out of memory: the error information goes without its description.
    }
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, &info))) SetErrorInfo(0, info.Get());
  }
  return HresultFromErrorNumber(number);
}

HRESULT FailCurrentCall(REFIID iid, const wchar_t* source) noexcept {
  try {
    const RuntimeError error = CurrentError();
    return FailCall(error.number(), error.description(), iid, source);
  } catch (...) {
    // Not even the error could be copied.
    return HresultFromErrorNumber(err::kOutOfMemory);
  }
}

void FillExcepInfo(HRESULT hr, EXCEPINFO* excep) {
  if (excep == nullptr) return;
  ZeroMemory(excep, sizeof(*excep));
  excep->scode = hr;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info->GetSource(&excep->bstrSource);
    info->GetDescription(&excep->bstrDescription);
    info->GetHelpFile(&excep->bstrHelpFile);
    info->GetHelpContext(&excep->dwHelpContext);
  }
}

}  // namespace kestle::com
