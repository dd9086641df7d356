// The simulated logger's side of both dialogues, seen as the tool sees it: the datagrams it answers with,
// cut and verified by the link layer, and the image it assembles.
#include "sim/SimLogger.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "link/RxAccumulator.h"
#include "link/uPubpro.h"

namespace lut::sim {
namespace {

const Peer Tool{"127.0.0.1", 8000};
const LoggerIdentity Identity{"127.0.0.2", "SN0001", "S1.00"};

// CRC-16/MODBUS computed bit by bit, apart from the link layer's tables, so that one fault in the check
// code cannot hide on both sides of the dialogue.
std::string ReferenceCheckCode(std::string_view text) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : text) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                                 : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    constexpr char Digits[] = "0123456789ABCDEF";
    const unsigned low = crc & 0xFF;
    const unsigned high = crc >> 8;
    return {Digits[low >> 4], Digits[low & 0xF], Digits[high >> 4], Digits[high & 0xF]};
}

std::string ReferenceFrame(std::string_view payload) {
    return "\x1B" + std::string(payload) + ReferenceCheckCode(payload) + "\x05";
}

// The tool's receiving side: one accumulator per channel, kept from answer to answer as the tool keeps
// it, so that junk or a half frame left behind by one answer shows in the next.
class ToolReceiver {
  public:
    // The payloads of the verified update frames cut from the answers.
    std::vector<std::string> Updates(const Reaction& reaction) {
        std::vector<std::string> payloads;
        for (const std::string& datagram : reaction.datagrams) {
            update_.ExtractFrames(datagram, [&payloads](const std::string& frame) {
                if (VerifyUpdateFrame(frame)) {
                    payloads.emplace_back(FramePayload(frame));
                }
            });
        }
        return payloads;
    }

    std::vector<std::string> Discoveries(const Reaction& reaction) {
        std::vector<std::string> frames;
        for (const std::string& datagram : reaction.datagrams) {
            discovery_.ExtractFrames(datagram,
                                     [&frames](const std::string& frame) { frames.push_back(frame); });
        }
        return frames;
    }

  private:
    RxAccumulator update_{Channel::Update};
    RxAccumulator discovery_{Channel::Discovery};
};

std::vector<std::string> UpdateAnswers(const Reaction& reaction) {
    return ToolReceiver().Updates(reaction);
}

Reaction Send(SimLogger& logger, std::string_view payload) {
    return logger.Receive(Port::Update, ReferenceFrame(payload), Tool);
}

// An image of the given size with every byte value, and its hexadecimal text as the tool sends it.
std::string TestImage(std::size_t bytes) {
    std::string image;
    for (std::size_t i = 0; i < bytes; ++i) {
        image.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
    }
    return image;
}

std::string Hex(std::string_view bytes) {
    constexpr char Digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        hex.push_back(Digits[static_cast<unsigned char>(c) >> 4]);
        hex.push_back(Digits[static_cast<unsigned char>(c) & 0xF]);
    }
    return hex;
}

std::string BlockPayload(const std::string& hex, std::uint32_t index) {
    return "UD" + Hex4(index) + hex.substr(index * BlockChars, BlockChars);
}

TEST(SimCheckCode, MatchesThePublishedCheckValueOnBothSides) {
    EXPECT_EQ(ReferenceCheckCode("123456789"), "374B");
    for (const std::string_view text : {"", "123456789", "EN", "UD0000", "R", "R0000", "E81"}) {
        EXPECT_EQ(CheckCode(text), ReferenceCheckCode(text)) << text;
    }
}

TEST(SimProbe, AnswersTheProbeWithSerialAndVersionOrSerialAlone) {
    struct Case {
        bool noVersion;
        std::string expected;
    };
    for (const Case& c : {Case{false, "\x1BSN0001#S1.00\x05"}, Case{true, "\x1BSN0001\x05"}}) {
        LoggerBehaviour behaviour;
        behaviour.noVersion = c.noVersion;
        SimLogger logger(Identity, behaviour);
        const Reaction reaction = logger.Receive(Port::Discovery, DiscoveryProbe, {"127.0.0.1", 23});
        EXPECT_EQ(reaction.datagrams, std::vector<std::string>{c.expected});
        EXPECT_EQ(reaction.log.front(), "127.0.0.2 <- probe from 127.0.0.1:23");
    }
}

TEST(SimProbe, IgnoresAnythingButTheExactProbe) {
    SimLogger logger(Identity, {});
    for (const std::string_view datagram :
         {std::string_view("\xFF\x04\x03", 3), std::string_view("\xFF\x04\x03\xFB\x00", 5),
          std::string_view("\x1B"
                           "EN"
                           "B314\x05"),
          std::string_view("hello")}) {
        const Reaction reaction = logger.Receive(Port::Discovery, datagram, Tool);
        EXPECT_TRUE(reaction.datagrams.empty());
        EXPECT_EQ(reaction.log.size(), 1u);
    }
}

TEST(SimRequest, AcceptsWithTheStartBlockOrRefusesWithThePayload) {
    struct Case {
        std::uint32_t startBlock;
        std::optional<std::string> refusal;
        std::string answer;
    };
    for (const Case& c :
         {Case{0, {}, "R0000"}, Case{5, {}, "R0005"}, Case{0xBEEF, {}, "RBEEF"}, Case{0, "E80", "E80"},
          Case{0, "E81", "E81"}, Case{0, "", ""}, Case{0, "X9", "X9"}}) {
        LoggerBehaviour behaviour;
        behaviour.startBlock = c.startBlock;
        behaviour.refusal = c.refusal;
        SimLogger logger(Identity, behaviour);
        const Reaction reaction = Send(logger, "LUS1.020003");
        EXPECT_EQ(reaction.datagrams, std::vector<std::string>{ReferenceFrame(c.answer)}) << c.answer;
    }
}

TEST(SimRequest, IgnoresRequestsWithoutABlockCountAndFramesWithAWrongCheckCode) {
    SimLogger logger(Identity, {});
    for (const std::string_view payload : {"LU", "LU003", "LUS1.02", "LUS1.02000G"}) {
        EXPECT_TRUE(Send(logger, payload).datagrams.empty()) << payload;
    }
    std::string frame = ReferenceFrame("LUS1.020003");
    frame[frame.size() - 2] = frame[frame.size() - 2] == '0' ? '1' : '0';
    EXPECT_TRUE(logger.Receive(Port::Update, frame, Tool).datagrams.empty());
}

TEST(SimRequest, TakesARequestSplitOverDatagramsAndJunkAroundIt) {
    SimLogger logger(Identity, {});
    const std::string frame = ReferenceFrame("LUS1.020003");
    EXPECT_TRUE(logger.Receive(Port::Update, "xx\x05" + frame.substr(0, 4), Tool).datagrams.empty());
    const Reaction reaction = logger.Receive(Port::Update, frame.substr(4) + "yy", Tool);
    EXPECT_EQ(UpdateAnswers(reaction), std::vector<std::string>{"R0000"});
}

TEST(SimTransfer, AssemblesTheImageByteForByteWhateverTheBlockOrder) {
    const std::string image = TestImage(750);  // 1500 hex characters: blocks of 600, 600 and 300
    const std::string hex = Hex(image);
    SimLogger logger(Identity, {});
    Send(logger, "LUS1.020003");
    for (const std::uint32_t index : {2u, 0u, 1u, 0u}) {
        EXPECT_TRUE(Send(logger, BlockPayload(hex, index)).datagrams.empty());
    }
    const Reaction done = Send(logger, "EN");
    EXPECT_EQ(UpdateAnswers(done), std::vector<std::string>{"R"});
    ASSERT_TRUE(done.image);
    EXPECT_EQ(done.image->version, "S1.02");
    EXPECT_EQ(done.image->bytes, image);

    const Reaction again = Send(logger, "EN");
    EXPECT_EQ(UpdateAnswers(again), std::vector<std::string>{"R"});
    EXPECT_FALSE(again.image) << "a completed image is handed over once";
}

TEST(SimTransfer, ListsTheMissingBlocksAndCompletesOnceTheyArrive) {
    const std::string hex = Hex(TestImage(1200));  // 4 full blocks
    SimLogger logger(Identity, {});
    Send(logger, "LUS2.000004");
    Send(logger, BlockPayload(hex, 0));
    Send(logger, BlockPayload(hex, 2));
    EXPECT_EQ(UpdateAnswers(Send(logger, "EN")), std::vector<std::string>{"R000200010003"});
    Send(logger, BlockPayload(hex, 3));
    EXPECT_EQ(UpdateAnswers(Send(logger, "EN")), std::vector<std::string>{"R00010001"});
    Send(logger, BlockPayload(hex, 1));
    const Reaction done = Send(logger, "EN");
    EXPECT_EQ(UpdateAnswers(done), std::vector<std::string>{"R"});
    ASSERT_TRUE(done.image);
    EXPECT_EQ(Hex(done.image->bytes), hex);
}

TEST(SimTransfer, AfterCompletingItRestartsSilentlyThenReportsTheVersionItWasGiven) {
    using namespace std::chrono_literals;
    struct Case {
        bool adoptVersion;
        std::chrono::milliseconds restart;
        std::string laterAnswer;
    };
    for (const Case& c : {Case{true, 0ms, "\x1BSN0001#S1.02\x05"}, Case{false, 0ms, "\x1BSN0001#S1.00\x05"},
                          Case{true, 3000ms, "\x1BSN0001#S1.02\x05"}}) {
        LoggerBehaviour behaviour;
        behaviour.adoptVersion = c.adoptVersion;
        behaviour.restartAfterUpdate = c.restart;
        SimLogger logger(Identity, behaviour);
        const auto start = SimLogger::Clock::now();
        Send(logger, "LUS1.020001");
        Send(logger, BlockPayload(Hex(TestImage(300)), 0));
        ASSERT_TRUE(logger.Receive(Port::Update, ReferenceFrame("EN"), Tool, start).image);
        const auto probe = [&logger](SimLogger::Clock::time_point at) {
            return logger.Receive(Port::Discovery, DiscoveryProbe, Tool, at).datagrams;
        };
        if (c.restart > 0ms) {
            EXPECT_TRUE(probe(start + c.restart - 1ms).empty()) << "silent while restarting";
            EXPECT_TRUE(
                logger.Receive(Port::Update, ReferenceFrame("EN"), Tool, start + 1ms).datagrams.empty());
        }
        EXPECT_EQ(probe(start + c.restart), std::vector<std::string>{c.laterAnswer});
    }
}

TEST(SimTransfer, AStartBlockLeavesTheBlocksBelowItToBeSentAgain) {
    const std::string hex = Hex(TestImage(900));
    LoggerBehaviour behaviour;
    behaviour.startBlock = 2;
    SimLogger logger(Identity, behaviour);
    EXPECT_EQ(UpdateAnswers(Send(logger, "LUS1.020003")), std::vector<std::string>{"R0002"});
    Send(logger, BlockPayload(hex, 2));
    EXPECT_EQ(UpdateAnswers(Send(logger, "EN")), std::vector<std::string>{"R000200000001"});
}

TEST(SimTransfer, RejectsBlocksThatCannotBelongToTheImage) {
    const std::string hex = Hex(TestImage(900));  // blocks 0 and 1 full, block 2 of 600 characters
    struct Case {
        const char* what;
        std::string payload;
    };
    const std::vector<Case> cases = {
        {"short block before the last", "UD0000" + hex.substr(0, 598)},
        {"odd number of characters", "UD0002" + hex.substr(1200, 599)},
        {"not hexadecimal", "UD0001" + std::string(599, 'A') + "G"},
        {"empty last block", "UD0002"},
        {"overlong block", "UD0002" + hex.substr(1200) + "00"},
        {"index beyond the count", "UD0003" + hex.substr(0, 600)},
        {"index not hexadecimal", "UD00X1" + hex.substr(0, 600)},
    };
    for (const Case& c : cases) {
        SimLogger logger(Identity, {});
        Send(logger, "LUS1.020003");
        EXPECT_TRUE(Send(logger, c.payload).datagrams.empty()) << c.what;
        EXPECT_EQ(UpdateAnswers(Send(logger, "EN")), std::vector<std::string>{"R0003000000010002"}) << c.what;
    }
}

TEST(SimTransfer, ANewRequestStartsAFreshImageAndARefusalEndsIt) {
    const std::string hex = Hex(TestImage(600));
    SimLogger logger(Identity, {});
    Send(logger, "LUS1.020002");
    Send(logger, BlockPayload(hex, 0));
    Send(logger, "LUS1.030002");
    EXPECT_EQ(UpdateAnswers(Send(logger, "EN")), std::vector<std::string>{"R000200000001"});

    LoggerBehaviour refusing;
    refusing.refusal = "E81";
    SimLogger refuser(Identity, refusing);
    Send(refuser, "LUS1.020001");
    Send(refuser, BlockPayload(hex, 0));
    EXPECT_TRUE(Send(refuser, "EN").datagrams.empty()) << "no update is under way after a refusal";
}

TEST(SimTransfer, ResendAnswerStaysInsideTheToolsReceiveBuffer) {
    SimLogger logger(Identity, {});
    Send(logger, "LUS1.020BB8");  // 3000 blocks, none sent
    const Reaction reaction = Send(logger, "EN");
    ASSERT_EQ(reaction.datagrams.size(), 1u);
    EXPECT_LE(reaction.datagrams[0].size(), RxBufferSize);
    const std::vector<std::string> answers = UpdateAnswers(reaction);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].substr(0, 5), "R" + Hex4(MaxListedBlocks));
    EXPECT_EQ(answers[0].size(), 5 + 4 * MaxListedBlocks);
    EXPECT_EQ(answers[0].substr(answers[0].size() - 4), Hex4(MaxListedBlocks - 1));
}

TEST(SimLoss, DropsTheListedBlocksOnTheirFirstArrivalOnly) {
    const std::string hex = Hex(TestImage(1500));
    LoggerBehaviour behaviour;
    behaviour.dropBlocks = {1, 4};
    SimLogger logger(Identity, behaviour);
    Send(logger, "LUS1.020005");
    for (std::uint32_t i = 0; i < 5; ++i) {
        Send(logger, BlockPayload(hex, i));
    }
    EXPECT_EQ(UpdateAnswers(Send(logger, "EN")), std::vector<std::string>{"R000200010004"});
    Send(logger, BlockPayload(hex, 1));
    Send(logger, BlockPayload(hex, 4));
    const Reaction done = Send(logger, "EN");
    EXPECT_EQ(UpdateAnswers(done), std::vector<std::string>{"R"});
    ASSERT_TRUE(done.image);
    EXPECT_EQ(Hex(done.image->bytes), hex);
}

std::set<std::uint32_t> LostBlocks(const LoggerIdentity& identity, unsigned percent, std::uint64_t seed) {
    LoggerBehaviour behaviour;
    behaviour.lossPercent = percent;
    behaviour.seed = seed;
    const SimLogger logger(identity, behaviour);
    std::set<std::uint32_t> lost;
    for (std::uint32_t i = 0; i < 1000; ++i) {
        if (logger.LosesOnFirstArrival(i)) {
            lost.insert(i);
        }
    }
    return lost;
}

TEST(SimLoss, TheSeededShareIsRepeatableAndDiffersBetweenSeedsAndLoggers) {
    const std::set<std::uint32_t> lost = LostBlocks(Identity, 30, 7);
    EXPECT_EQ(lost, LostBlocks(Identity, 30, 7));
    EXPECT_NE(lost, LostBlocks(Identity, 30, 8));
    EXPECT_NE(lost, LostBlocks({"127.0.0.3", "SN0001", "S1.00"}, 30, 7));
    EXPECT_GT(lost.size(), 230u);
    EXPECT_LT(lost.size(), 370u);
    EXPECT_TRUE(LostBlocks(Identity, 0, 7).empty());
    EXPECT_EQ(LostBlocks(Identity, 100, 7).size(), 1000u);
}

TEST(SimQuery, SilenceAndFailureKnobs) {
    struct Case {
        const char* what;
        unsigned silentQueries;
        bool silent;
        std::optional<std::string> failAnswer;
        std::vector<std::size_t> answeredQueries;  // 1-based, out of five
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"well-behaved", 0, false, {}, {1, 2, 3, 4, 5}, "R"},
        {"first two unanswered", 2, false, {}, {3, 4, 5}, "R"},
        {"never answers", 0, true, {}, {}, ""},
        {"failure answer", 0, false, "E99", {1, 2, 3, 4, 5}, "E99"},
        {"silent, then failure", 4, false, "F", {5}, "F"},
    };
    const std::string hex = Hex(TestImage(10));
    for (const Case& c : cases) {
        LoggerBehaviour behaviour;
        behaviour.silentQueries = c.silentQueries;
        behaviour.silent = c.silent;
        behaviour.failAnswer = c.failAnswer;
        SimLogger logger(Identity, behaviour);
        Send(logger, "LUS1.020001");
        Send(logger, "UD0000" + hex);
        std::vector<std::size_t> answered;
        for (std::size_t query = 1; query <= 5; ++query) {
            const std::vector<std::string> answers = UpdateAnswers(Send(logger, "EN"));
            if (!answers.empty()) {
                answered.push_back(query);
                EXPECT_EQ(answers, std::vector<std::string>{c.answer}) << c.what;
            }
        }
        EXPECT_EQ(answered, c.answeredQueries) << c.what;
    }
}

TEST(SimAnswerFaults, SplitAndJunkAnswersStillParseWithTheToolsAccumulator) {
    struct Case {
        bool split;
        bool junk;
        std::size_t datagrams;
    };
    const std::string hex = Hex(TestImage(10));
    for (const Case& c :
         {Case{false, false, 1}, Case{true, false, 2}, Case{false, true, 1}, Case{true, true, 2}}) {
        LoggerBehaviour behaviour;
        behaviour.split = c.split;
        behaviour.junk = c.junk;
        SimLogger logger(Identity, behaviour);
        ToolReceiver tool;
        const std::string context =
            std::string("split ") + (c.split ? "on" : "off") + ", junk " + (c.junk ? "on" : "off");

        const Reaction accepted = Send(logger, "LUS1.020001");
        EXPECT_EQ(accepted.datagrams.size(), c.datagrams) << context;
        EXPECT_EQ(tool.Updates(accepted), std::vector<std::string>{"R0000"}) << context;
        if (c.junk) {
            EXPECT_NE(accepted.datagrams.front().front(), '\x1B') << context;
            EXPECT_NE(accepted.datagrams.back().back(), '\x05') << context;
        }
        Send(logger, "UD0000" + hex);
        EXPECT_EQ(tool.Updates(Send(logger, "EN")), std::vector<std::string>{"R"}) << context;

        for (int probe = 0; probe < 2; ++probe) {
            const Reaction probed = logger.Receive(Port::Discovery, DiscoveryProbe, Tool);
            EXPECT_EQ(probed.datagrams.size(), c.datagrams) << context;
            EXPECT_EQ(tool.Discoveries(probed), std::vector<std::string>{"\x1BSN0001#S1.02\x05"})
                << context << ": the version it was given";
        }
    }
}

TEST(SimAnswerFaults, SplitHalvesHoldNoWholeFrame) {
    LoggerBehaviour behaviour;
    behaviour.split = true;
    SimLogger logger(Identity, behaviour);
    const Reaction reaction = Send(logger, "LUS1.020001");
    ASSERT_EQ(reaction.datagrams.size(), 2u);
    EXPECT_EQ(reaction.datagrams[0] + reaction.datagrams[1], ReferenceFrame("R0000"));
    EXPECT_EQ(reaction.datagrams[0].find('\x05'), std::string::npos);
}

TEST(SimAnswerFaults, ABadCheckCodeFailsVerificationButLeavesTheProbeAnswerAlone) {
    LoggerBehaviour behaviour;
    behaviour.badCheck = true;
    SimLogger logger(Identity, behaviour);
    const Reaction reaction = Send(logger, "LUS1.020001");
    ASSERT_EQ(reaction.datagrams.size(), 1u);
    const std::string& frame = reaction.datagrams[0];
    EXPECT_FALSE(VerifyUpdateFrame(frame));
    EXPECT_EQ(FramePayload(frame), "R0000");
    EXPECT_NE(frame, ReferenceFrame("R0000"));
    EXPECT_EQ(frame.size(), ReferenceFrame("R0000").size());
    EXPECT_TRUE(UpdateAnswers(reaction).empty());

    const Reaction probed = logger.Receive(Port::Discovery, DiscoveryProbe, Tool);
    EXPECT_EQ(probed.datagrams, std::vector<std::string>{"\x1BSN0001#S1.00\x05"});
}

TEST(SimLog, OneLinePerExchangeNamingTheLogger) {
    const std::string hex = Hex(TestImage(450));
    LoggerBehaviour behaviour;
    behaviour.dropBlocks = {0};
    SimLogger logger(Identity, behaviour);
    std::vector<std::string> lines;
    const auto keep = [&lines](const Reaction& reaction) {
        lines.insert(lines.end(), reaction.log.begin(), reaction.log.end());
    };
    keep(Send(logger, "LUS1.020002"));
    keep(Send(logger, BlockPayload(hex, 0)));
    keep(Send(logger, BlockPayload(hex, 1)));
    keep(Send(logger, "EN"));
    keep(Send(logger, BlockPayload(hex, 0)));
    keep(Send(logger, "EN"));
    const std::vector<std::string> expected = {
        "127.0.0.2 <- LU S1.02 count=2",
        "127.0.0.2 -> R0000",
        "127.0.0.2 <- UD 0000 (600 chars) lost on its first arrival",
        "127.0.0.2 <- UD 0001 (300 chars)",
        "127.0.0.2 <- EN",
        "127.0.0.2 -> R0001 (missing 0000)",
        "127.0.0.2 <- UD 0000 (600 chars)",
        "127.0.0.2 <- EN",
        "127.0.0.2 -> R",
        "127.0.0.2 image complete: 450 bytes, version S1.02",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace lut::sim
