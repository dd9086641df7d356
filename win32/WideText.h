// Text to and from UTF-16, the Win32 API's: UTF-8 for the program's own texts (paths, messages), and the
// system's ANSI code page for the 8-bit texts of the loggers (their serial numbers and versions, and the
// version a request carries), as a Windows program of this kind reads and writes them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lut::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// A logger's bytes as the system's ANSI code page shows them, and back.
std::wstring WidenAnsi(std::string_view bytes);
std::string NarrowAnsi(std::wstring_view utf16);
// The same, or nothing when a character has no byte of its own in the code page (it would become "?", or
// a look-alike).
std::optional<std::string> NarrowAnsiExactly(std::wstring_view utf16);

}  // namespace lut::win32
