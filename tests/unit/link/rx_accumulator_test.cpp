#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "accumulator_feed.h"
#include "link/RxAccumulator.h"
#include "link/uPubpro.h"
#include "reference_extraction.h"

namespace lut {
namespace {

using namespace std::string_literals;

using test::Enq;
using test::Esc;
using test::Feed;

struct ExtractionCase {
    const char* name;
    Channel channel;
    std::vector<std::string> datagrams;
    std::vector<std::string> frames;  // every frame, in order, over all the datagrams
    std::string waiting;              // the accumulator afterwards
};

TEST(RxAccumulator, CutsFramesAsTheRulesSay) {
    const ExtractionCase cases[] = {
        {"frame split over two datagrams",
         Channel::Update,
         {Esc + "EN", "B314" + Enq},
         {Esc + "ENB314" + Enq},
         ""},
        {"two frames in one datagram",
         Channel::Update,
         {Esc + "A" + Enq + Esc + "B" + Enq},
         {Esc + "A" + Enq, Esc + "B" + Enq},
         ""},
        {"ENQ before the first ESC is removed, text before the ESC goes with the cut",
         Channel::Update,
         {"xy" + Enq + "z" + Esc + "A" + Enq},
         {Esc + "A" + Enq},
         ""},
        {"a frame's beginning waits behind a removed ENQ",
         Channel::Update,
         {Enq + "ab" + Esc + "cd"},
         {},
         "ab" + Esc + "cd"},
        {"and is completed by the next datagram",
         Channel::Update,
         {Enq + "ab" + Esc + "cd", "ef" + Enq},
         {Esc + "cdef" + Enq},
         ""},
        {"ENQ without ESC waits", Channel::Update, {"ab" + Enq + "c"}, {}, "ab" + Enq + "c"},
        {"ESC without ENQ waits", Channel::Update, {"ab" + Esc + "c"}, {}, "ab" + Esc + "c"},
        {"a second ESC before the ENQ is content",
         Channel::Update,
         {Esc + "a" + Esc + "b" + Enq},
         {Esc + "a" + Esc + "b" + Enq},
         ""},
        {"a frame without ENQ joins the next one",
         Channel::Update,
         {Esc + "LOST", Esc + "R" + Enq + "x"},
         {Esc + "LOST" + Esc + "R" + Enq},
         "x"},
        {"update text ends at the first zero byte",
         Channel::Update,
         {Esc + "EN\0B314"s + Enq},
         {},
         Esc + "EN"},
        {"update datagram starting with a zero byte adds nothing",
         Channel::Update,
         {Esc + "a", "\0b"s + Enq},
         {},
         Esc + "a"},
        {"update keeps line feeds and 0xFF",
         Channel::Update,
         {Esc + "a\n\xFF" + Enq},
         {Esc + "a\n\xFF" + Enq},
         ""},
        {"discovery turns 00 0A FB FF into spaces and keeps CR",
         Channel::Discovery,
         {Esc + "S1\0\n\xFB\xFF\r#V2"s + Enq},
         {Esc + "S1    \r#V2" + Enq},
         ""},
        {"discovery cuts at the first ENQ after the ESC",
         Channel::Discovery,
         {Esc + "S1" + Enq + "S2" + Enq},
         {Esc + "S1" + Enq},
         "S2" + Enq},
        {"stale ENQs are removed once an ESC follows them",
         Channel::Discovery,
         {"tail" + Enq, Enq + "more" + Enq, Esc + "S3" + Enq},
         {Esc + "S3" + Enq},
         ""},
        {"an empty datagram changes nothing", Channel::Update, {Esc + "a", ""}, {}, Esc + "a"},
    };
    for (const ExtractionCase& c : cases) {
        RxAccumulator accumulator(c.channel);
        std::vector<std::string> frames;
        for (const std::string& datagram : c.datagrams) {
            for (std::string& frame : Feed(accumulator, datagram)) {
                frames.push_back(std::move(frame));
            }
        }
        EXPECT_EQ(frames, c.frames) << c.name;
        EXPECT_EQ(accumulator.Text(), c.waiting) << c.name;
    }
}

TEST(RxAccumulator, InterleavedSendersJoinIntoOneFrameAndTheOrphanTailIsRemovedLater) {
    RxAccumulator accumulator(Channel::Discovery);
    EXPECT_TRUE(Feed(accumulator, Esc + "SN-A").empty());
    EXPECT_EQ(Feed(accumulator, Esc + "SN-B#V1" + Enq),
              std::vector<std::string>{Esc + "SN-A" + Esc + "SN-B#V1" + Enq});
    EXPECT_TRUE(Feed(accumulator, "#V2" + Enq).empty());
    EXPECT_EQ(accumulator.Text(), "#V2" + Enq);
    EXPECT_EQ(Feed(accumulator, Esc + "SN-C" + Enq), std::vector<std::string>{Esc + "SN-C" + Enq});
    EXPECT_EQ(accumulator.Text(), "");
}

TEST(RxAccumulator, ConsumerThatReentersSeesEveryFrameOnceInOrder) {
    RxAccumulator accumulator(Channel::Update);
    std::vector<std::string> frames;
    bool nested = false;
    std::function<void(const std::string&)> consumer = [&](const std::string& frame) {
        frames.push_back(frame);
        if (!nested) {
            // A modal box: a further datagram is handled inside this consumer call.
            nested = true;
            accumulator.ExtractFrames(Esc + "C" + Enq + Esc + "D", consumer);
            EXPECT_EQ(accumulator.Text(), Esc + "D");
        }
    };
    accumulator.ExtractFrames(Esc + "A" + Enq + Esc + "B" + Enq, consumer);
    // The nested run appended behind B and cut B and C; the outer run found nothing left but D's start.
    EXPECT_EQ(frames, (std::vector<std::string>{Esc + "A" + Enq, Esc + "B" + Enq, Esc + "C" + Enq}));
    EXPECT_EQ(accumulator.Text(), Esc + "D");
    EXPECT_EQ(Feed(accumulator, "E" + Enq), std::vector<std::string>{Esc + "DE" + Enq});
}

TEST(RxAccumulator, FailingConsumerEndsThisRunAndLeavesTheRestForTheNextDatagram) {
    RxAccumulator accumulator(Channel::Update);
    int calls = 0;
    EXPECT_THROW(accumulator.ExtractFrames(Esc + "A" + Enq + Esc + "B" + Enq,
                                           [&calls](const std::string&) {
                                               ++calls;
                                               throw std::runtime_error("bad answer");
                                           }),
                 std::runtime_error);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(accumulator.Text(), Esc + "B" + Enq);
    EXPECT_EQ(Feed(accumulator, Esc + "C" + Enq),
              (std::vector<std::string>{Esc + "B" + Enq, Esc + "C" + Enq}));
}

// Random streams of frames, stray markers and junk, split at random points, on both channels, with
// consumers that sometimes feed a further datagram from inside the call: the frames and the waiting text
// match the plain rules applied to the datagrams in the order they were appended.
TEST(RxAccumulator, MatchesThePlainRulesOnRandomStreamsWithNestedRuns) {
    std::mt19937 random(2024);
    const std::string alphabet = "ab\x1B\x05\x1B\x05\0\n\xFB\xFF"s;
    const auto randomDatagram = [&random, &alphabet] {
        std::string bytes(random() % 24, 'x');
        for (char& c : bytes) {
            c = random() % 3 == 0 ? alphabet[random() % alphabet.size()] : 'x';
        }
        return bytes;
    };
    for (int stream = 0; stream < 300; ++stream) {
        const bool discovery = stream % 2 == 1;
        RxAccumulator accumulator(discovery ? Channel::Discovery : Channel::Update);
        test::ReferenceExtraction reference(discovery);
        std::vector<std::string> frames;
        std::vector<std::string> expected;
        int depth = 0;
        std::function<void(const std::string&)> feed;
        const RxAccumulator::Consumer consumer = [&](const std::string& frame) {
            frames.push_back(frame);
            if (depth < 3 && random() % 4 == 0) {
                feed(randomDatagram());
            }
        };
        feed = [&](const std::string& bytes) {
            for (std::string& frame : reference.Feed(bytes)) {
                expected.push_back(std::move(frame));
            }
            ++depth;
            accumulator.ExtractFrames(bytes, consumer);
            --depth;
        };
        for (int datagram = 0; datagram < 40; ++datagram) {
            feed(randomDatagram());
            ASSERT_EQ(frames, expected) << "stream " << stream;
            ASSERT_EQ(accumulator.Text(), reference.Text()) << "stream " << stream;
        }
    }
}

}  // namespace
}  // namespace lut
