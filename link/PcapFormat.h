// The two capture file formats Wireshark and tshark read: classic pcap (a file header, then one record per
// datagram) and pcapng (a section header that carries the capture's context as options, one interface
// description, then one enhanced packet block per datagram, which may carry a comment). Each datagram is
// stored with an IPv4 and a UDP header before the payload, as the wire would have carried it.
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
// Longest record kept, IPv4 and UDP headers included: the largest IPv4 datagram, so no datagram that went
// over the wire is cut. Only a send the system refused for its size is longer: it is cut here, its full
// length kept in the record.
inline constexpr std::size_t PcapSnapLength = 65535;

// Whether the tool sent the datagram or received it (pcapng keeps it in each packet's flags).
enum class CaptureDirection { Sent, Received };

// What the section header of a pcapng file tells of the capture.
struct CaptureContext {
    std::string application;  // the tool and its version: "Logger Update Tool 1.0 (logger-update)"
    std::string system;       // the operating system, as the doctor report names it
    std::string commandLine;  // the command that made the capture
};

// The arguments as one line that a shell would split the same way: an argument with a blank, a quote or
// nothing in it is quoted.
std::string CommandLineText(std::span<const char* const> arguments);

// The 24 bytes that open a classic file: microsecond timestamps, version 2.4, raw IP, little-endian.
std::string PcapFileHeader();

// One classic record: its 16-byte header (time in microseconds), then a 20-byte IPv4 header with its header
// checksum, an 8-byte UDP header with its checksum, and the payload (cut at the snap length).
// `identification` fills the IPv4 header's field of that name.
std::string PcapRecord(std::chrono::system_clock::time_point when, CaptureEnd from, CaptureEnd to,
                       std::span<const char> payload, std::uint16_t identification);

// What opens a pcapng file: the section header block (little-endian, with the application, the system and
// the command line as options) and the description of its one interface (raw IP, microsecond timestamps,
// the snap length).
std::string PcapngFileHeader(const CaptureContext& context);

// One enhanced packet block on interface 0: the datagram as PcapRecord builds it, its direction in the
// flags, and `comment` as an option when not empty.
std::string PcapngPacket(std::chrono::system_clock::time_point when, CaptureEnd from, CaptureEnd to,
                         std::span<const char> payload, std::uint16_t identification,
                         CaptureDirection direction, const std::string& comment);

}  // namespace lut
