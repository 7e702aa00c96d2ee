// Error information for failed calls.
#include "component/com/errors.h"

#include "component/com/text.h"
#include "platform/error.h"

namespace kestle::com {

HRESULT HresultFromErrorNumber(int number) {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number) & 0xFFFF);
}

HRESULT FailCall(int number, const std::string& description, REFIID iid,
                 const wchar_t* source) noexcept {
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    try {
      std::wstring wide = WideFromUtf8(description);
      create->SetDescription(wide.data());
    } catch (...) {
      // Out of memory: the error information goes without its description.
    }
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
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
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
    info->GetSource(&excep->bstrSource);
    info->GetDescription(&excep->bstrDescription);
    info->GetHelpFile(&excep->bstrHelpFile);
    info->GetHelpContext(&excep->dwHelpContext);
    info->Release();
  }
}

}  // namespace kestle::com
