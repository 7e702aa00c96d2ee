// Text at the automation boundary: BSTR and UTF-16 to and from the UTF-8
// strings of the component's classes.
#ifndef KESTLE_COMPONENT_COM_TEXT_H_
#define KESTLE_COMPONENT_COM_TEXT_H_

#include <string>

#include "component/com/win_headers.h"

namespace kestle::com {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromWide(const wchar_t* text, size_t length);
// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);

// The text of a BSTR; a null BSTR is the empty text, as in automation.
std::string FromBstr(BSTR text);
// A new BSTR holding `text`; the caller frees it. Null when out of memory.
BSTR ToBstr(const std::string& text);

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_TEXT_H_
