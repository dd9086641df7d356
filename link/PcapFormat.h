// The classic pcap file format as Wireshark and tshark read it: a file header, then one record per
// datagram holding an IPv4 and a UDP header before the payload, as the wire would have carried it.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace lut {

// One end of a datagram: an IPv4 address and a port, both in host byte order.
struct CaptureEnd {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// Raw IP: each record begins with the IPv4 header.
inline constexpr std::uint32_t PcapLinkTypeRaw = 101;
// Longest record body kept: an IPv4 datagram's limit.
inline constexpr std::size_t PcapSnapLength = 65535;

// The 24 bytes that open the file: microsecond timestamps, version 2.4, raw IP, little-endian.
std::string PcapFileHeader();

// One record: its 16-byte header (time in microseconds), then a 20-byte IPv4 header with its header
// checksum, an 8-byte UDP header with its checksum, and the payload (cut at the IPv4 limit).
// `identification` fills the IPv4 header's field of that name.
std::string PcapRecord(std::chrono::system_clock::time_point when, CaptureEnd from, CaptureEnd to,
                       std::span<const char> payload, std::uint16_t identification);

}  // namespace lut
