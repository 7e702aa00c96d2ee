// UTF-8 <-> UTF-16 conversion for the automation shell.
#include "component/com/text.h"

namespace kestle::com {

std::string FromBstr(BSTR text) {
  if (text == nullptr) return std::string();
  return Utf8FromWide(text, SysStringLen(text));
}

BSTR ToBstr(const std::string& text) {
  std::wstring wide = WideFromUtf8(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace kestle::com
