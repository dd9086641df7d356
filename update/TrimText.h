// Trimming as the tool does it for serial numbers and version texts.
#pragma once

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

}  // namespace lut
