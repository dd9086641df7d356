#include "link/uPubpro.h"

namespace lut {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, std::uint8_t value) {
    out += HexDigits[value >> 4];
    out += HexDigits[value & 0x0F];
}

}  // namespace

std::string CheckCode(std::string_view text) {
    std::uint8_t hi = 0xFF;
    std::uint8_t lo = 0xFF;
    for (const char c : text) {
        const auto index = static_cast<std::uint8_t>(hi ^ static_cast<std::uint8_t>(c));
        hi = static_cast<std::uint8_t>(CheckTableHi[index] ^ lo);
        lo = CheckTableLo[index];
    }
    std::string code;
    code.reserve(4);
    AppendHexByte(code, hi);
    AppendHexByte(code, lo);
    return code;
}

std::string MakeFrame(std::string_view payload) {
    std::string frame;
    frame.reserve(payload.size() + 6);
    frame += FrameStart;
    frame += payload;
    frame += CheckCode(payload);
    frame += FrameEnd;
    return frame;
}

bool VerifyUpdateFrame(std::string_view frame) {
    if (frame.size() < 6 || frame.front() != FrameStart || frame.back() != FrameEnd) {
        return false;
    }
    return CheckCode(FramePayload(frame)) == frame.substr(frame.size() - 5, 4);
}

std::string_view FramePayload(std::string_view frame) {
    if (frame.size() <= 6) {
        return {};
    }
    return frame.substr(1, frame.size() - 6);
}

std::string Hex4(std::uint32_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), HexDigits[value & 0x0F]);
        value >>= 4;
    } while (value != 0);
    if (digits.size() < 4) {
        digits.insert(0, 4 - digits.size(), '0');
    }
    return digits;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::uint32_t> ReadHex4(std::string_view text, std::size_t position) {
    if (position > text.size() || text.size() - position < 4) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text.substr(position, 4)) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::string EscapedText(std::string_view text, std::size_t maxChars) {
    std::string shown;
    for (const char c : text.substr(0, maxChars)) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            shown += "\\x";
            AppendHexByte(shown, byte);
        }
    }
    return shown;
}

}  // namespace lut
