#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/Capture.h"
#include "link/PcapFormat.h"
#include "loopback.h"

namespace lut {
namespace {

using test::Loopback;
using test::WaitReadable;

std::string Hex(const std::string& bytes) {
    std::string text;
    char digits[3];
    for (const char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(byte));
        text += digits;
    }
    return text;
}

constexpr std::uint32_t Address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return std::uint32_t{a} << 24 | std::uint32_t{b} << 16 | std::uint32_t{c} << 8 | d;
}

// The bytes were made by an implementation of the formats written apart from this one, and tshark reads
// them as an IPv4 datagram with a good header checksum and a good UDP checksum.
TEST(PcapFormat, FileHeaderAndRecordHoldTheKnownBytes) {
    EXPECT_EQ(Hex(PcapFileHeader()), "d4c3b2a1020004000000000000000000ffff000065000000");

    const std::chrono::system_clock::time_point when{std::chrono::microseconds(1'700'000'000'123'456)};
    const std::string enFrame =
        "\x1B"
        "ENB314\x05";
    EXPECT_EQ(
        Hex(PcapRecord(when, {Address(192, 0, 2, 1), 8000}, {Address(192, 0, 2, 30), 23}, enFrame, 0x1234)),
        "00f1536540e20100240000002400000045000024123400004011e475c0000201c000021e1f40001700108b991b454e4233"
        "313405");
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The record's IPv4 source and destination and the UDP ports, as the wire carried them.
struct Ends {
    std::string from;
    std::string to;
    bool operator==(const Ends&) const = default;
};

std::vector<Ends> RecordEnds(const std::string& file) {
    std::vector<Ends> ends;
    const auto byte = [&file](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(file[at]));
    };
    const auto end = [&byte](std::size_t address, std::size_t port) {
        return std::to_string(byte(address)) + "." + std::to_string(byte(address + 1)) + "." +
               std::to_string(byte(address + 2)) + "." + std::to_string(byte(address + 3)) + ":" +
               std::to_string(byte(port) << 8 | byte(port + 1));
    };
    for (std::size_t at = 24; at + 16 <= file.size();) {
        const std::size_t length = byte(at + 8) | byte(at + 9) << 8;
        const std::size_t ip = at + 16;
        ends.push_back({end(ip + 12, ip + 20), end(ip + 16, ip + 22)});
        at = ip + length;
    }
    return ends;
}

// Both directions of one endpoint reach the file, each with the real addresses and ports, in order; a
// send that fails is not recorded, since it never reached the wire.
TEST(Capture, RecordsWhatAnEndpointSendsAndReceivesWithBothEnds) {
    const auto path = std::filesystem::temp_directory_path() / "lut_capture_test.pcap";
    auto capture = std::make_shared<Capture>();
    ASSERT_FALSE(capture->Open(path.string()));

    Endpoint tool;
    Endpoint logger;
    tool.SetCapture(capture);
    ASSERT_FALSE(tool.Open(Loopback()));
    ASSERT_FALSE(logger.Open(Loopback()));
    const std::string toolEnd = "127.0.0.1:" + std::to_string(tool.LocalPort());
    const std::string loggerEnd = "127.0.0.1:" + std::to_string(logger.LocalPort());

    ASSERT_FALSE(tool.SendTo("LU", "127.0.0.1", logger.LocalPort()));
    EXPECT_TRUE(tool.SendTo("x", "999.0.0.1", logger.LocalPort()));
    ASSERT_FALSE(logger.SendTo("R0000", "127.0.0.1", tool.LocalPort()));
    ASSERT_TRUE(WaitReadable(tool));
    std::vector<char> buffer(64);
    ASSERT_EQ(tool.Receive(buffer).count, 5U);

    const std::string file = ReadAll(path);
    EXPECT_EQ(file.substr(0, 24), PcapFileHeader());
    EXPECT_EQ(RecordEnds(file), (std::vector<Ends>{{toolEnd, loggerEnd}, {loggerEnd, toolEnd}}));
    EXPECT_EQ(file.size(), 24 + 2 * (16 + 28) + 2 + 5);
    EXPECT_FALSE(capture->WriteFailure());
    // The file is closed with the last owner of the capture (Windows removes no open file).
    tool.SetCapture(nullptr);
    capture.reset();
    std::filesystem::remove(path);
}

TEST(Capture, AFileThatCannotBeCreatedIsAnErrorAtOnce) {
    Capture capture;
    const auto path = std::filesystem::temp_directory_path() / "lut_no_such_folder" / "x.pcap";
    EXPECT_TRUE(capture.Open(path.string()));
}

}  // namespace
}  // namespace lut
