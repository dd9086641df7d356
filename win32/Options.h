// The window's command line: the address both endpoints bind and the local address shown in lbl3, for a
// machine with several adapters and for tests on loopback.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace lut::win32 {

struct Options {
    std::optional<std::string> bind;
    std::optional<std::string> localAddress;
    std::optional<std::string> capture;  // the pcap or pcapng file that records every datagram
    bool help = false;
};

inline constexpr char OptionsHelp[] =
    "logger-update-tool [--bind IP] [--local-address IP] [--capture FILE]\n\n"
    "--bind IP: the IPv4 address both endpoints bind (ports 8000 and 23) instead of every local address.\n"
    "--local-address IP: the IPv4 address shown as the local address, whose /24 subnet Search sweeps, "
    "instead of the address looked up.\n"
    "--capture FILE: record every datagram sent and received in this pcap file, for Wireshark.";

// The options after the program's name; std::invalid_argument with a readable text for anything else.
Options ParseOptions(std::span<const std::string> arguments);

}  // namespace lut::win32
