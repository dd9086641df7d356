#include "link/PcapFormat.h"

#include <algorithm>

namespace lut {

namespace {

constexpr std::size_t IpHeaderBytes = 20;
constexpr std::size_t UdpHeaderBytes = 8;
constexpr std::uint8_t UdpProtocol = 17;
constexpr std::uint8_t TimeToLive = 64;

void PutLittle32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void PutLittle16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void PutBig16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xFF));
}

void PutBig32(std::string& out, std::uint32_t value) {
    PutBig16(out, static_cast<std::uint16_t>(value >> 16));
    PutBig16(out, static_cast<std::uint16_t>(value & 0xFFFF));
}

// The Internet checksum's running sum over big-endian 16-bit words; an odd last byte is padded with zero.
std::uint32_t AddWords(std::uint32_t sum, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto high = static_cast<std::uint8_t>(bytes[i]);
        const auto low = i + 1 < bytes.size() ? static_cast<std::uint8_t>(bytes[i + 1]) : std::uint8_t{0};
        sum += static_cast<std::uint32_t>(high << 8 | low);
    }
    return sum;
}

std::uint16_t Fold(std::uint32_t sum) {
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

void PutChecksumAt(std::string& out, std::size_t at, std::uint16_t checksum) {
    out[at] = static_cast<char>(checksum >> 8);
    out[at + 1] = static_cast<char>(checksum & 0xFF);
}

// The IPv4 datagram as the wire carried it, with both headers and their checksums; the payload is cut
// where the snap length ends.
std::string IpDatagram(CaptureEnd from, CaptureEnd to, std::span<const char> payload,
                       std::uint16_t identification) {
    const std::size_t kept = std::min(payload.size(), PcapSnapLength - IpHeaderBytes - UdpHeaderBytes);
    const std::string_view data(payload.data(), kept);
    const auto udpLength = static_cast<std::uint16_t>(UdpHeaderBytes + kept);
    const auto ipLength = static_cast<std::uint16_t>(IpHeaderBytes + udpLength);

    std::string datagram;
    datagram.reserve(ipLength);
    datagram.push_back(0x45);  // version 4, header of five 32-bit words
    datagram.push_back(0);     // type of service
    PutBig16(datagram, ipLength);
    PutBig16(datagram, identification);
    PutBig16(datagram, 0);  // not fragmented
    datagram.push_back(static_cast<char>(TimeToLive));
    datagram.push_back(static_cast<char>(UdpProtocol));
    PutBig16(datagram, 0);  // header checksum, filled in below
    PutBig32(datagram, from.address);
    PutBig32(datagram, to.address);
    PutChecksumAt(datagram, 10, Fold(AddWords(0, std::string_view(datagram))));

    PutBig16(datagram, from.port);
    PutBig16(datagram, to.port);
    PutBig16(datagram, udpLength);
    PutBig16(datagram, 0);  // checksum, filled in below
    datagram.append(data);

    // The UDP checksum covers a pseudo-header of both addresses, the protocol and the length; a result of
    // zero is sent as all ones, since zero means "no checksum".
    std::string pseudo;
    PutBig32(pseudo, from.address);
    PutBig32(pseudo, to.address);
    PutBig16(pseudo, UdpProtocol);
    PutBig16(pseudo, udpLength);
    const std::uint16_t udpChecksum =
        Fold(AddWords(AddWords(0, pseudo), std::string_view(datagram).substr(IpHeaderBytes)));
    PutChecksumAt(datagram, IpHeaderBytes + 6, udpChecksum == 0 ? 0xFFFF : udpChecksum);
    return datagram;
}

// The length the datagram had on the wire, also when the record holds less.
std::uint32_t WireLength(std::span<const char> payload) {
    return static_cast<std::uint32_t>(IpHeaderBytes + UdpHeaderBytes + payload.size());
}

std::uint64_t Microseconds(std::chrono::system_clock::time_point when) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count());
}

// pcapng: blocks and options are padded to 32 bits.
void PadTo32Bits(std::string& out) {
    out.append((4 - out.size() % 4) % 4, '\0');
}

void PutOption(std::string& out, std::uint16_t code, std::string_view value) {
    // An option's length is 16 bits; a longer text is cut rather than breaking the block.
    const std::size_t length = std::min<std::size_t>(value.size(), 0xFFFC);
    PutLittle16(out, code);
    PutLittle16(out, static_cast<std::uint16_t>(length));
    out.append(value.substr(0, length));
    PadTo32Bits(out);
}

void PutEndOfOptions(std::string& out) {
    PutLittle32(out, 0);
}

// A block: its type, its total length before and after the body.
std::string Block(std::uint32_t type, const std::string& body) {
    std::string block;
    const auto total = static_cast<std::uint32_t>(12 + body.size());
    PutLittle32(block, type);
    PutLittle32(block, total);
    block += body;
    PutLittle32(block, total);
    return block;
}

constexpr std::uint32_t SectionHeaderBlock = 0x0A0D0D0A;
constexpr std::uint32_t InterfaceDescriptionBlock = 1;
constexpr std::uint32_t EnhancedPacketBlock = 6;
constexpr std::uint16_t CommentOption = 1;
constexpr std::uint16_t SectionOsOption = 3;
constexpr std::uint16_t SectionApplicationOption = 4;
constexpr std::uint16_t InterfaceNameOption = 2;
constexpr std::uint16_t InterfaceDescriptionOption = 3;
constexpr std::uint16_t InterfaceTimeResolutionOption = 9;
constexpr std::uint16_t PacketFlagsOption = 2;
constexpr std::uint32_t InboundFlag = 1;
constexpr std::uint32_t OutboundFlag = 2;

}  // namespace

std::string CommandLineText(std::span<const char* const> arguments) {
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view text(arguments[i]);
        line += i == 0 ? "" : " ";
        if (!text.empty() && text.find_first_of(" \t\"'\\") == std::string_view::npos) {
            line += text;
            continue;
        }
        line += '\'';
        for (const char c : text) {
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        line += '\'';
    }
    return line;
}

std::string PcapFileHeader() {
    std::string header;
    PutLittle32(header, 0xA1B2C3D4);  // microsecond timestamps
    PutLittle16(header, 2);
    PutLittle16(header, 4);
    PutLittle32(header, 0);  // time zone: UTC
    PutLittle32(header, 0);  // accuracy
    PutLittle32(header, PcapSnapLength);
    PutLittle32(header, PcapLinkTypeRaw);
    return header;
}

std::string PcapRecord(std::chrono::system_clock::time_point when, CaptureEnd from, CaptureEnd to,
                       std::span<const char> payload, std::uint16_t identification) {
    const std::string datagram = IpDatagram(from, to, payload, identification);
    const std::uint64_t micros = Microseconds(when);
    std::string record;
    record.reserve(16 + datagram.size());
    PutLittle32(record, static_cast<std::uint32_t>(micros / 1'000'000));
    PutLittle32(record, static_cast<std::uint32_t>(micros % 1'000'000));
    PutLittle32(record, static_cast<std::uint32_t>(datagram.size()));
    PutLittle32(record, WireLength(payload));
    return record + datagram;
}

std::string PcapngFileHeader(const CaptureContext& context) {
    std::string section;
    PutLittle32(section, 0x1A2B3C4D);  // byte-order magic
    PutLittle16(section, 1);           // version 1.0
    PutLittle16(section, 0);
    PutLittle32(section, 0xFFFFFFFF);  // section length not given
    PutLittle32(section, 0xFFFFFFFF);
    PutOption(section, CommentOption, "Command line: " + context.commandLine);
    PutOption(section, SectionOsOption, context.system);
    PutOption(section, SectionApplicationOption, context.application);
    PutEndOfOptions(section);

    std::string interface;
    PutLittle16(interface, static_cast<std::uint16_t>(PcapLinkTypeRaw));
    PutLittle16(interface, 0);  // reserved
    PutLittle32(interface, PcapSnapLength);
    PutOption(interface, InterfaceNameOption, "logger-update-endpoints");
    PutOption(interface, InterfaceDescriptionOption,
              "the datagrams of the tool's own two UDP endpoints, as it sent and received them");
    PutOption(interface, InterfaceTimeResolutionOption, std::string(1, '\x06'));  // microseconds
    PutEndOfOptions(interface);
    return Block(SectionHeaderBlock, section) + Block(InterfaceDescriptionBlock, interface);
}

std::string PcapngPacket(std::chrono::system_clock::time_point when, CaptureEnd from, CaptureEnd to,
                         std::span<const char> payload, std::uint16_t identification,
                         CaptureDirection direction, const std::string& comment) {
    const std::string datagram = IpDatagram(from, to, payload, identification);
    const std::uint64_t micros = Microseconds(when);
    std::string body;
    body.reserve(64 + datagram.size() + comment.size());
    PutLittle32(body, 0);  // interface 0
    PutLittle32(body, static_cast<std::uint32_t>(micros >> 32));
    PutLittle32(body, static_cast<std::uint32_t>(micros & 0xFFFFFFFF));
    PutLittle32(body, static_cast<std::uint32_t>(datagram.size()));
    PutLittle32(body, WireLength(payload));
    body += datagram;
    PadTo32Bits(body);
    std::string flags;
    PutLittle32(flags, direction == CaptureDirection::Sent ? OutboundFlag : InboundFlag);
    PutOption(body, PacketFlagsOption, flags);
    if (!comment.empty()) {
        PutOption(body, CommentOption, comment);
    }
    PutEndOfOptions(body);
    return Block(EnhancedPacketBlock, body);
}

}  // namespace lut
