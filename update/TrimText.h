// Trimming as the tool does it for serial numbers and version texts, and showing them in a line of text.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace lut {

// Without leading and trailing spaces and control characters (codes 32 and below); bytes from 0x80 up
// are text and stay.
inline std::string_view TrimBlankAndControl(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A logger's bytes in a line of text: control characters as \xNN, everything else as it is.
inline std::string Printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace lut
