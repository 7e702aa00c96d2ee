// UTF-8 <-> UTF-16 conversion on Windows: the component's texts and paths are
// UTF-8, the Windows and automation APIs take UTF-16. Windows builds only.
#ifndef KESTLE_PLATFORM_WIDE_TEXT_WINDOWS_H_
#define KESTLE_PLATFORM_WIDE_TEXT_WINDOWS_H_

#include <cstddef>
#include <string>

namespace kestle {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromWide(const wchar_t* text, size_t length);
// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);

}  // namespace kestle

#endif  // KESTLE_PLATFORM_WIDE_TEXT_WINDOWS_H_
