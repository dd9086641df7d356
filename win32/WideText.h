// UTF-8, the program's own text, to and from UTF-16, the Win32 API's.
#pragma once

#include <string>
#include <string_view>

namespace lut::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace lut::win32
