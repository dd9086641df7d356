// The shared procedures and constants of the link layer: ports and sizes, the check code, and the building
// and verifying of frames. Every other part of the program takes its protocol constants from here.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lut {

// Ports and sizes.
inline constexpr std::uint16_t UpdatePort = 8000;   // local and remote port of the update dialogue
inline constexpr std::uint16_t DiscoveryPort = 23;  // local and remote port of the subnet sweep
inline constexpr std::size_t RxBufferSize = 10230;  // the longest datagram that is taken in
inline constexpr std::size_t BlockChars = 600;      // hexadecimal characters of one data block

// Message numbers kept from the window-message design: socket readability, and the worker's start order.
inline constexpr int SocketNotifyMessage = 1106;  // user message base 1024 + 82
inline constexpr int SocketNotifyLastMessage =
    1206;                                        // every number up to here is routed to the socket handler
inline constexpr int WorkerStartMessage = 1064;  // user message base 1024 + 40
inline constexpr int ReadEvent = 1;              // the event code of a readable endpoint

// The workers' pauses.
inline constexpr std::chrono::milliseconds BlockDelay{200};
inline constexpr std::chrono::milliseconds FinishDelay{5000};
inline constexpr std::chrono::milliseconds QueryDelay{3000};

// Frame markers: ESC starts a frame, ENQ ends it.
inline constexpr char FrameStart = '\x1B';
inline constexpr char FrameEnd = '\x05';

// The probe of the subnet sweep, sent raw, without frame or check code.
inline constexpr std::string_view DiscoveryProbe{"\xFF\x04\x03\xFB", 4};

namespace detail {
// Entry i of the reflected CRC-16/MODBUS table (polynomial 0x8005 reflected, 0xA001): the published table
// method splits it into its low byte (the "hi" table, which updates the running low byte) and its high byte.
constexpr std::uint16_t ReflectedCheckEntry(std::uint32_t index) {
    std::uint32_t value = index;
    for (int bit = 0; bit < 8; ++bit) {
        value = (value & 1U) != 0 ? (value >> 1) ^ 0xA001U : value >> 1;
    }
    return static_cast<std::uint16_t>(value);
}

constexpr std::array<std::uint8_t, 256> CheckTableBytes(int shift) {
    std::array<std::uint8_t, 256> table{};
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<std::uint8_t>(ReflectedCheckEntry(i) >> shift);
    }
    return table;
}
}  // namespace detail

// The two tables of the published table-driven CRC-16/MODBUS computation, made by the compiler.
inline constexpr std::array<std::uint8_t, 256> CheckTableHi = detail::CheckTableBytes(0);
inline constexpr std::array<std::uint8_t, 256> CheckTableLo = detail::CheckTableBytes(8);

static_assert(CheckTableHi[0] == 0x00 && CheckTableHi[1] == 0xC1 && CheckTableHi[2] == 0x81 &&
              CheckTableHi[3] == 0x40 && CheckTableHi[255] == 0x40);
static_assert(CheckTableLo[0] == 0x00 && CheckTableLo[1] == 0xC0 && CheckTableLo[2] == 0xC1 &&
              CheckTableLo[3] == 0x01 && CheckTableLo[255] == 0x40);

// CRC-16/MODBUS of the text as four upper-case hexadecimal digits, low byte first ("EN" gives "B314").
std::string CheckCode(std::string_view text);

// ESC + payload + CheckCode(payload) + ENQ.
std::string MakeFrame(std::string_view payload);

// True when a received update frame (ESC ... ENQ as the extraction cuts it) carries the check code of its
// payload, compared as exact text. Frames shorter than six bytes always fail.
bool VerifyUpdateFrame(std::string_view frame);

// The payload of a frame: everything between the ESC and the check code (empty for six bytes or fewer).
std::string_view FramePayload(std::string_view frame);

// Upper-case hexadecimal, zero-padded to at least four digits ("UD" + index, the block count).
std::string Hex4(std::uint32_t value);

// The value of a hexadecimal digit of either case, or -1.
int HexDigitValue(char c);

// The 4-digit hexadecimal field (either case) at `position` of the text; empty when the text ends before
// the field does or a character of it is no hexadecimal digit.
std::optional<std::uint32_t> ReadHex4(std::string_view text, std::size_t position);

// Received bytes as a person may read them: printable ASCII as it is, every other byte as \xNN; at most
// the first maxChars bytes of the text.
std::string EscapedText(std::string_view text, std::size_t maxChars);

}  // namespace lut
