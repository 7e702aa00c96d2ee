// Text at the automation boundary: BSTR and UTF-16 to and from the UTF-8
// strings of the component's classes.
#ifndef KESTLE_COMPONENT_COM_TEXT_H_
#define KESTLE_COMPONENT_COM_TEXT_H_

#include <string>

#include "platform/wide_text_windows.h"
#include "platform/windows_headers.h"

namespace kestle::com {

// The text of a BSTR; a null BSTR is the empty text, as in automation.
std::string FromBstr(BSTR text);
// A new BSTR holding `text`; the caller frees it. Null when out of memory.
BSTR ToBstr(const std::string& text);

}  // namespace kestle::com

#endif  // KESTLE_COMPONENT_COM_TEXT_H_
