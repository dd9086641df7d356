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

// What a reader of the file learns of one datagram: the IPv4 source and destination and the UDP ports as
// the wire carried them, the datagram's length on the wire and in the file, and (pcapng) its direction
// and comment.
struct Datagram {
    std::string from;
    std::string to;
    std::size_t wireLength = 0;
    std::size_t kept = 0;
    std::string direction{};  // "out", "in", or "" in a classic file
    std::string comment{};
    bool operator==(const Datagram&) const = default;
};

unsigned Byte(const std::string& file, std::size_t at) {
    return static_cast<unsigned char>(file[at]);
}

std::size_t Little32(const std::string& file, std::size_t at) {
    return Byte(file, at) | Byte(file, at + 1) << 8 | Byte(file, at + 2) << 16 |
           std::size_t{Byte(file, at + 3)} << 24;
}

std::size_t Little16(const std::string& file, std::size_t at) {
    return Byte(file, at) | Byte(file, at + 1) << 8;
}

std::string End(const std::string& file, std::size_t address, std::size_t port) {
    return std::to_string(Byte(file, address)) + "." + std::to_string(Byte(file, address + 1)) + "." +
           std::to_string(Byte(file, address + 2)) + "." + std::to_string(Byte(file, address + 3)) + ":" +
           std::to_string(Byte(file, port) << 8 | Byte(file, port + 1));
}

std::vector<Datagram> ClassicDatagrams(const std::string& file) {
    std::vector<Datagram> datagrams;
    for (std::size_t at = 24; at + 16 <= file.size();) {
        const std::size_t kept = Little32(file, at + 8);
        const std::size_t ip = at + 16;
        datagrams.push_back(
            {End(file, ip + 12, ip + 20), End(file, ip + 16, ip + 22), Little32(file, at + 12), kept});
        at = ip + kept;
    }
    return datagrams;
}

// The enhanced packet blocks of a pcapng file, with their flags and comment options; every block's two
// length fields must agree.
std::vector<Datagram> PcapngDatagrams(const std::string& file) {
    std::vector<Datagram> datagrams;
    for (std::size_t at = 0; at + 12 <= file.size();) {
        const std::size_t total = Little32(file, at + 4);
        EXPECT_EQ(Little32(file, at + total - 4), total) << "block at " << at;
        if (Little32(file, at) == 6) {
            const std::size_t kept = Little32(file, at + 20);
            const std::size_t ip = at + 28;
            Datagram datagram{End(file, ip + 12, ip + 20), End(file, ip + 16, ip + 22),
                              Little32(file, at + 24), kept};
            for (std::size_t option = ip + (kept + 3) / 4 * 4; option < at + total - 4;) {
                const std::size_t code = Little16(file, option);
                const std::size_t length = Little16(file, option + 2);
                if (code == 2) {
                    datagram.direction = (Little32(file, option + 4) & 3) == 2 ? "out" : "in";
                } else if (code == 1) {
                    datagram.comment = file.substr(option + 4, length);
                }
                option += 4 + (length + 3) / 4 * 4;
            }
            datagrams.push_back(datagram);
        }
        at += total;
    }
    return datagrams;
}

// Both directions of one endpoint reach the file, each with the real addresses and ports, in order; a
// datagram longer than the receive buffer is recorded whole though the tool loses it; a send the system
// refuses is in a pcapng file with its reason as a comment, and not in a classic one (which holds what
// went over the wire); a send to no address is recorded nowhere.
TEST(Capture, RecordsWhatAnEndpointSendsAndReceivesWithBothEnds) {
    for (const bool pcapng : {false, true}) {
        const auto path = std::filesystem::temp_directory_path() /
                          (pcapng ? "lut_capture_test.pcapng" : "lut_capture_test.pcap");
        auto capture = std::make_shared<Capture>();
        ASSERT_FALSE(
            capture->Open(path.string(), {"Logger Update Tool 9.9", "TestOS 1", "logger-update search"}));

        Endpoint tool;
        Endpoint logger;
        tool.SetCapture(capture);
        ASSERT_FALSE(tool.Open(Loopback()));
        ASSERT_FALSE(logger.Open(Loopback()));
        const std::string toolEnd = "127.0.0.1:" + std::to_string(tool.LocalPort());
        const std::string loggerEnd = "127.0.0.1:" + std::to_string(logger.LocalPort());

        ASSERT_FALSE(tool.SendTo("LU", "127.0.0.1", logger.LocalPort()));
        EXPECT_TRUE(tool.SendTo("x", "999.0.0.1", logger.LocalPort()));
        const std::string tooLong(70'000, 'U');
        const std::error_code refused = tool.SendTo(tooLong, "127.0.0.1", logger.LocalPort());
        ASSERT_TRUE(refused);
        const std::string large(20'000, 'R');
        ASSERT_FALSE(logger.SendTo(large, "127.0.0.1", tool.LocalPort()));
        ASSERT_FALSE(logger.SendTo("R0000", "127.0.0.1", tool.LocalPort()));
        std::vector<char> buffer(64);
        ReceiveResult received;
        std::size_t skipped = 0;
        for (int attempt = 0; attempt < 2 && received.what != Received::Datagram; ++attempt) {
            ASSERT_TRUE(WaitReadable(tool));
            received = tool.Receive(buffer);
            skipped += received.skippedErrors;
        }
        ASSERT_EQ(received.count, 5U);
        EXPECT_EQ(skipped, 1U);

        const std::string file = ReadAll(path);
        const std::size_t cut = PcapSnapLength - 28;
        if (pcapng) {
            const std::string notSent = "not sent: the system refused it: " + refused.message();
            EXPECT_EQ(PcapngDatagrams(file),
                      (std::vector<Datagram>{{toolEnd, loggerEnd, 30, 30, "out", ""},
                                             {toolEnd, loggerEnd, 70'028, cut + 28, "out", notSent},
                                             {loggerEnd, toolEnd, 20'028, 20'028, "in", ""},
                                             {loggerEnd, toolEnd, 33, 33, "in", ""}}));
            EXPECT_EQ(file.substr(0, 4), "\x0A\x0D\x0D\x0A");
            for (const char* context :
                 {"Logger Update Tool 9.9", "TestOS 1", "Command line: logger-update search"}) {
                EXPECT_NE(file.find(context), std::string::npos) << context;
            }
        } else {
            EXPECT_EQ(file.substr(0, 24), PcapFileHeader());
            EXPECT_EQ(ClassicDatagrams(file), (std::vector<Datagram>{{toolEnd, loggerEnd, 30, 30},
                                                                     {loggerEnd, toolEnd, 20'028, 20'028},
                                                                     {loggerEnd, toolEnd, 33, 33}}));
        }
        EXPECT_FALSE(capture->WriteFailure());
        // The file is closed with the last owner of the capture (Windows removes no open file).
        tool.SetCapture(nullptr);
        capture.reset();
        std::filesystem::remove(path);
    }
}

TEST(Capture, CommandLineTextQuotesWhatAShellWouldSplit) {
    const char* arguments[] = {"logger-update", "update", "--file", "/media/usb stick/S1.03.bin",
                               "--version",     "it's",   ""};
    EXPECT_EQ(CommandLineText(arguments),
              "logger-update update --file '/media/usb stick/S1.03.bin' --version 'it'\\''s' ''");
}

TEST(Capture, AFileThatCannotBeCreatedIsAnErrorAtOnce) {
    Capture capture;
    const auto path = std::filesystem::temp_directory_path() / "lut_no_such_folder" / "x.pcap";
    EXPECT_TRUE(capture.Open(path.string()));
}

}  // namespace
}  // namespace lut
