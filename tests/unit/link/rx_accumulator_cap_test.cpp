#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "accumulator_feed.h"
#include "link/RxAccumulator.h"
#include "link/uPubpro.h"
#include "reference_extraction.h"

namespace lut {
namespace {

using test::Enq;
using test::Esc;
using test::Feed;

TEST(RxAccumulatorCap, TextReachingExactlyTheCapIsKeptWhole) {
    RxAccumulator accumulator(Channel::Discovery, 1000);
    const std::string longFrame = Esc + std::string(998, 'a') + Enq;
    EXPECT_TRUE(Feed(accumulator, longFrame.substr(0, 600)).empty());
    EXPECT_EQ(Feed(accumulator, longFrame.substr(600)), std::vector<std::string>{longFrame});
}

TEST(RxAccumulatorCap, TheLongestResendAnswerArrivesWholeBehindJunk) {
    RxAccumulator accumulator(Channel::Update);
    std::string payload = "R";
    payload += Hex4(0xFFFF);
    for (std::uint32_t index = 0; index < 0xFFFF; ++index) {
        payload += Hex4(index);
    }
    const std::string stream = std::string(RxBufferSize, 'j') + MakeFrame(payload);
    std::vector<std::string> frames;
    for (std::size_t at = 0; at < stream.size(); at += RxBufferSize) {
        frames = Feed(accumulator, stream.substr(at, RxBufferSize));
    }
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_TRUE(VerifyUpdateFrame(frames.front()));
}

TEST(RxAccumulatorCap, FrameWhoseStartFellOffNeverPairsWithALaterStart) {
    RxAccumulator accumulator(Channel::Update, 1000);
    EXPECT_TRUE(Feed(accumulator, Esc + "UD0001" + std::string(900, '5')).empty());
    // Pushes the text over the cap: the frame's start is dropped, its tail must not become a frame.
    EXPECT_TRUE(Feed(accumulator, std::string(200, '6') + "TAIL" + Enq).empty());
    EXPECT_LE(accumulator.Text().size(), 1000U);
    const std::string next = MakeFrame("R0000");
    EXPECT_EQ(Feed(accumulator, next), std::vector<std::string>{next});
    EXPECT_EQ(accumulator.Text(), "");
}

TEST(RxAccumulatorCap, KeptTextStartsAtAFrameStartSoAWholeFrameBehindJunkSurvives) {
    RxAccumulator accumulator(Channel::Discovery, 1000);
    const std::string answer = Esc + "SN42#V1.2";
    EXPECT_TRUE(Feed(accumulator, Esc + std::string(700, 'j')).empty());
    EXPECT_TRUE(Feed(accumulator, std::string(300, 'k') + answer).empty());
    EXPECT_EQ(Feed(accumulator, Enq), std::vector<std::string>{answer + Enq});
}

// On random streams with a small cap, every frame the capped accumulator yields is the tail, from an ESC, of
// the frame the uncapped rules yield at the same ENQ: nothing is ever joined that did not arrive in one
// run, and below the cap the two agree exactly.
TEST(RxAccumulatorCap, CappedFramesAreTailsOfUncappedFramesAndAgreeBelowTheCap) {
    std::mt19937 random(99);
    constexpr std::size_t Cap = 48;
    for (int stream = 0; stream < 500; ++stream) {
        RxAccumulator accumulator(Channel::Discovery, Cap);
        test::ReferenceExtraction reference(true);
        bool capReached = false;
        for (int datagram = 0; datagram < 60; ++datagram) {
            std::string bytes(random() % 30, 'x');
            for (char& c : bytes) {
                const auto pick = random() % 12;
                c = pick == 0 ? FrameStart : pick == 1 ? FrameEnd : static_cast<char>('a' + pick);
            }
            capReached = capReached || accumulator.Text().size() + bytes.size() > Cap;
            const std::vector<std::string> capped = Feed(accumulator, bytes);
            const std::vector<std::string> uncapped = reference.Feed(bytes);
            ASSERT_LE(accumulator.Text().size(), Cap);
            if (!capReached) {
                ASSERT_EQ(capped, uncapped);
                ASSERT_EQ(accumulator.Text(), reference.Text());
                continue;
            }
            // Frames end at the same ENQs in order; the capped one may only have lost a front part.
            std::size_t u = 0;
            for (const std::string& frame : capped) {
                while (u < uncapped.size() && !uncapped[u].ends_with(frame)) {
                    ++u;
                }
                ASSERT_LT(u, uncapped.size()) << "stream " << stream << ": frame no peer sent";
                ASSERT_EQ(frame.front(), FrameStart);
                ++u;
            }
        }
    }
}

}  // namespace
}  // namespace lut
