#include "win32/WideText.h"

#include "win32/WinApi.h"

namespace lut::win32 {

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// `substituted`, when given, learns whether a character had no byte of its own in the code page (never
// given for UTF-8, which has bytes for every character).
std::string FromWide(UINT codePage, std::wstring_view wide, BOOL* substituted = nullptr) {
    if (wide.empty()) {
        return {};
    }
    const DWORD flags = substituted != nullptr ? WC_NO_BEST_FIT_CHARS : 0;
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, substituted);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}

std::string Narrow(std::wstring_view utf16) {
    return FromWide(CP_UTF8, utf16);
}

std::wstring WidenAnsi(std::string_view bytes) {
    return ToWide(CP_ACP, bytes);
}

std::string NarrowAnsi(std::wstring_view utf16) {
    return FromWide(CP_ACP, utf16);
}

std::optional<std::string> NarrowAnsiExactly(std::wstring_view utf16) {
    if (GetACP() == CP_UTF8) {
        return FromWide(CP_UTF8, utf16);
    }
    BOOL substituted = FALSE;
    std::string bytes = FromWide(CP_ACP, utf16, &substituted);
    if (substituted) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace lut::win32
