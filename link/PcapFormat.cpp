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

}  // namespace

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
    const std::size_t kept = std::min(payload.size(), PcapSnapLength - IpHeaderBytes - UdpHeaderBytes);
    const std::string_view data(payload.data(), kept);
    const auto udpLength = static_cast<std::uint16_t>(UdpHeaderBytes + kept);
    const auto ipLength = static_cast<std::uint16_t>(IpHeaderBytes + udpLength);

    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    std::string record;
    record.reserve(16 + ipLength);
    PutLittle32(record, static_cast<std::uint32_t>(micros / 1'000'000));
    PutLittle32(record, static_cast<std::uint32_t>(micros % 1'000'000));
    PutLittle32(record, ipLength);
    PutLittle32(record, ipLength);

    const std::size_t ip = record.size();
    record.push_back(0x45);  // version 4, header of five 32-bit words
    record.push_back(0);     // type of service
    PutBig16(record, ipLength);
    PutBig16(record, identification);
    PutBig16(record, 0);  // not fragmented
    record.push_back(static_cast<char>(TimeToLive));
    record.push_back(static_cast<char>(UdpProtocol));
    PutBig16(record, 0);  // header checksum, filled in below
    PutBig32(record, from.address);
    PutBig32(record, to.address);
    PutChecksumAt(record, ip + 10, Fold(AddWords(0, std::string_view(record).substr(ip, IpHeaderBytes))));

    const std::size_t udp = record.size();
    PutBig16(record, from.port);
    PutBig16(record, to.port);
    PutBig16(record, udpLength);
    PutBig16(record, 0);  // checksum, filled in below
    record.append(data);

    // The UDP checksum covers a pseudo-header of both addresses, the protocol and the length; a result of
    // zero is sent as all ones, since zero means "no checksum".
    std::string pseudo;
    PutBig32(pseudo, from.address);
    PutBig32(pseudo, to.address);
    PutBig16(pseudo, UdpProtocol);
    PutBig16(pseudo, udpLength);
    const std::uint16_t udpChecksum =
        Fold(AddWords(AddWords(0, pseudo), std::string_view(record).substr(udp)));
    PutChecksumAt(record, udp + 6, udpChecksum == 0 ? 0xFFFF : udpChecksum);
    return record;
}

}  // namespace lut
