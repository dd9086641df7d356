// The shared procedures and constants of the link layer: ports and sizes, the check code, and the building
// and verifying of frames. Every other part of the program takes its protocol constants from here.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lut {

// Ports and sizes.
inline constexpr std::uint16_t UpdatePort = 8000;     // local and remote port of the update dialogue
inline constexpr std::uint16_t DiscoveryPort = 23;    // local and remote port of the subnet sweep
inline constexpr std::size_t RxBufferSize = 10230;    // the longest datagram that is taken in
inline constexpr std::size_t BlockChars = 600;        // hexadecimal characters of one data block

// Message numbers kept from the window-message design: socket readability, and the worker's start order.
inline constexpr int SocketNotifyMessage = 1106;      // user message base 1024 + 82
inline constexpr int SocketNotifyLastMessage = 1206;  // every number up to here is routed to the socket handler
inline constexpr int WorkerStartMessage = 1064;       // user message base 1024 + 40
inline constexpr int ReadEvent = 1;                   // the event code of a readable endpoint

// The workers' pauses.
inline constexpr std::chrono::milliseconds BlockDelay{200};
inline constexpr std::chrono::milliseconds FinishDelay{5000};
inline constexpr std::chrono::milliseconds QueryDelay{3000};

// Frame markers: ESC starts a frame, ENQ ends it.
inline constexpr char FrameStart = '\x1B';
inline constexpr char FrameEnd = '\x05';

// The probe of the subnet sweep, sent raw, without frame or check code.
inline constexpr std::string_view DiscoveryProbe{"\xFF\x04\x03\xFB", 4};

// The two tables of the published table-driven CRC-16/MODBUS computation.
extern const std::uint8_t CheckTableHi[256];
extern const std::uint8_t CheckTableLo[256];

// The tables are compile-time constants; this only asserts that they hold the published values, so that
// start-up can call it before any thread exists, as the original design did.
void BuildCheckTables();

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

}  // namespace lut
