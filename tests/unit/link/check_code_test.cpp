#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "link/uPubpro.h"

namespace lut {
namespace {

using namespace std::string_literals;

// CRC-16/MODBUS bit by bit, the definition the tables are a shortcut for.
std::uint16_t BitwiseModbusCrc(const std::string& text) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : text) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U)
                                  : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

TEST(CheckCode, KnownTextsGiveTheirCodesLowByteFirst) {
    const struct {
        std::string text;
        std::string code;
    } cases[] = {
        {"", "FFFF"},
        {"123456789", "374B"},
        {"EN", "B314"},
        {"UD0000", "E70A"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckCode(c.text), c.code) << '"' << c.text << '"';
    }
}

TEST(CheckCode, AgreesWithTheBitwiseDefinitionOnEveryByteValue) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string text(static_cast<std::size_t>(round), '\0');
        for (char& c : text) {
            c = static_cast<char>(random() & 0xFF);
        }
        const std::uint16_t crc = BitwiseModbusCrc(text);
        EXPECT_EQ(CheckCode(text), Hex4(crc & 0xFFU).substr(2) + Hex4(crc >> 8).substr(2));
    }
}

TEST(MakeFrame, WrapsThePayloadAndItsCheckCode) {
    EXPECT_EQ(MakeFrame("EN"), "\x1B\x45\x4E\x42\x33\x31\x34\x05"s);
    EXPECT_EQ(MakeFrame(""),
              "\x1B"
              "FFFF\x05"s);
}

TEST(MakeFrame, FullDataBlockIs612BytesAndVerifies) {
    const std::string frame = MakeFrame("UD" + Hex4(0x2A) + std::string(BlockChars, 'C'));
    EXPECT_EQ(frame.size(), 612U);
    EXPECT_TRUE(VerifyUpdateFrame(frame));
    EXPECT_EQ(FramePayload(frame).substr(0, 6), "UD002A");
}

TEST(VerifyUpdateFrame, AcceptsOnlyFramesCarryingTheExactCheckCodeOfTheirPayload) {
    const struct {
        const char* why;
        std::string frame;
        bool valid;
    } cases[] = {
        {"empty payload, shortest valid frame",
         "\x1B"
         "FFFF\x05"s,
         true},
        {"query", MakeFrame("EN"), true},
        {"lower-case check digits",
         "\x1B"
         "ENb314\x05"s,
         false},
        {"check code of another payload",
         "\x1B"
         "ENE70A\x05"s,
         false},
        {"no start byte", "XENB314\x05"s, false},
        {"no end byte",
         "\x1B"
         "ENB314X"s,
         false},
        {"five bytes",
         "\x1B"
         "FFF\x05"s,
         false},
        {"one byte", "\x05"s, false},
        {"nothing", ""s, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VerifyUpdateFrame(c.frame), c.valid) << c.why;
    }
}

TEST(VerifyUpdateFrame, ChangingAnyPayloadOrCheckCharacterFails) {
    const std::string valid = MakeFrame("R0003000A00FF0100");
    for (std::size_t i = 1; i + 1 < valid.size(); ++i) {
        std::string changed = valid;
        changed[i] = changed[i] == '0' ? '1' : '0';
        EXPECT_FALSE(VerifyUpdateFrame(changed)) << "position " << i;
    }
}

TEST(VerifyUpdateFrame, EveryFrameShorterThanSixBytesFails) {
    const std::string frame = MakeFrame("");
    for (std::size_t length = 0; length < 6; ++length) {
        std::string shortFrame = frame.substr(0, length);
        if (!shortFrame.empty()) {
            shortFrame.back() = FrameEnd;
        }
        EXPECT_FALSE(VerifyUpdateFrame(shortFrame)) << length;
    }
}

TEST(Hex4, IsUpperCaseAndPaddedToFourDigits) {
    const struct {
        std::uint32_t value;
        const char* text;
    } cases[] = {{0, "0000"}, {0x1A, "001A"}, {0xFFFF, "FFFF"}, {0x10000, "10000"}, {0xABCDEF12, "ABCDEF12"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Hex4(c.value), c.text);
    }
}

TEST(ReadHex4, ReadsFourDigitsOfEitherCaseAndNothingPastTheText) {
    const struct {
        std::string_view text;
        std::size_t position;
        std::optional<std::uint32_t> value;
    } cases[] = {
        {"R0005", 1, 5},
        {"R000a", 1, 10},
        {"RFFFF", 1, 0xFFFF},
        {"R00G5", 1, std::nullopt},
        {"R-001", 1, std::nullopt},
        {"R000", 1, std::nullopt},
        {"R", 1, std::nullopt},
        {"R", 5, std::nullopt},
        {"0010", 0, 16},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadHex4(c.text, c.position), c.value) << c.text << " at " << c.position;
    }
}

TEST(EscapedText, ShowsPrintableAsciiAndEscapesEveryOtherByte) {
    EXPECT_EQ(EscapedText("R\x01\x1B\xFFz"s, 10), "R\\x01\\x1B\\xFFz");
    EXPECT_EQ(EscapedText("abcdef", 3), "abc");
}

}  // namespace
}  // namespace lut
