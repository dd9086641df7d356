#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestPlatform.h"
#include "link/LinkState.h"
#include "loopback.h"

namespace lut {
namespace {

using test::Loopback;
using test::WaitReadable;

const std::string Esc = "\x1B";
const std::string Enq = "\x05";

class LinkStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        link.UpdateBindAddress = Loopback();
        link.DiscoveryBindAddress = Loopback();
        std::error_code why;
        ASSERT_TRUE(link.OpenUpdateEndpoint(&why)) << why.message();
        ASSERT_TRUE(link.OpenDiscoveryEndpoint(&why)) << why.message();
        ASSERT_FALSE(logger.Open(Loopback()));
    }

    void ToUpdate(const std::string& bytes) {
        ASSERT_FALSE(logger.SendTo(bytes, "127.0.0.1", link.UpdateSocket.LocalPort()));
        ASSERT_TRUE(WaitReadable(link.UpdateSocket));
    }
    void ToDiscovery(const std::string& bytes, Endpoint& from) {
        ASSERT_FALSE(from.SendTo(bytes, "127.0.0.1", link.DiscoverySocket.LocalPort()));
        ASSERT_TRUE(WaitReadable(link.DiscoverySocket));
    }

    void Handle(int eventCode = ReadEvent) {
        link.HandleSocketMessage(
            eventCode, [this](const std::string& frame) { updates.push_back(frame); },
            [this](const std::string& frame, const std::string& sender) {
                discoveries.emplace_back(frame, sender);
            });
    }

    LinkState link;
    Endpoint logger;
    std::vector<std::string> updates;
    std::vector<std::pair<std::string, std::string>> discoveries;
};

TEST_F(LinkStateTest, UpdateEndpointIsReadFirstAndAWaitingDiscoveryDatagramStaysForTheNextCall) {
    ToDiscovery(Esc + "SN1#V1" + Enq, logger);
    ToUpdate(MakeFrame("R0000"));

    Handle();
    EXPECT_EQ(updates, std::vector<std::string>{MakeFrame("R0000")});
    EXPECT_TRUE(discoveries.empty());
    EXPECT_TRUE(WaitReadable(link.DiscoverySocket, 0));

    Handle();
    ASSERT_EQ(discoveries.size(), 1U);
    EXPECT_EQ(discoveries[0].first, Esc + "SN1#V1" + Enq);
    EXPECT_EQ(discoveries[0].second, "127.0.0.1");
}

TEST_F(LinkStateTest, EmptyUpdateDatagramLeadsOnToTheDiscoveryEndpoint) {
    ToDiscovery(Esc + "SN2" + Enq, logger);
    ToUpdate("");
    Handle();
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(discoveries.size(), 1U);
    EXPECT_FALSE(WaitReadable(link.UpdateSocket, 0)) << "the empty datagram was consumed";
}

TEST_F(LinkStateTest, OtherEventsReceiveNothing) {
    ToUpdate(MakeFrame("R"));
    Handle(ReadEvent + 1);
    EXPECT_TRUE(updates.empty());
    Handle();
    EXPECT_EQ(updates.size(), 1U);
}

TEST_F(LinkStateTest, FramesFailingTheirCheckCodeAreDroppedAndTheNextOneStillArrives) {
    ToUpdate(Esc + "R0000FFFF" + Enq + MakeFrame("E81"));
    Handle();
    EXPECT_EQ(updates, std::vector<std::string>{MakeFrame("E81")});
}

TEST_F(LinkStateTest, LargestDatagramIsHandedOnWholeALongerOneIsLost) {
    const std::string largest = MakeFrame(std::string(RxBufferSize - 6, 'A'));
    ASSERT_EQ(largest.size(), RxBufferSize);
    ToUpdate(largest);
    Handle();
    EXPECT_EQ(updates, std::vector<std::string>{largest});

    ToDiscovery(Esc + "SN3" + Enq, logger);
    ToUpdate(MakeFrame(std::string(RxBufferSize - 5, 'A')));
    Handle();
    EXPECT_EQ(updates.size(), 1U);
    EXPECT_EQ(discoveries.size(), 1U)
        << "a lost datagram counts as nothing, so the discovery endpoint is read";
    EXPECT_EQ(link.ReceiveErrors(), 1U) << "and as a receive error";
    EXPECT_FALSE(link.ReceiveFailure());
}

TEST_F(LinkStateTest, InterleavedDiscoveryAnswersAreCreditedToTheSenderThatCompletedTheFrame) {
    LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
    Endpoint loggerA;
    Endpoint loggerB;
    ASSERT_FALSE(loggerA.Open({"127.0.0.2", 0}));
    ASSERT_FALSE(loggerB.Open({"127.0.0.3", 0}));
    ToDiscovery(Esc + "SN-A", loggerA);
    Handle();
    ToDiscovery(Esc + "SN-B" + Enq, loggerB);
    Handle();
    ToDiscovery("#V1" + Enq, loggerA);
    Handle();
    ASSERT_EQ(discoveries.size(), 1U);
    EXPECT_EQ(discoveries[0].first, Esc + "SN-A" + Esc + "SN-B" + Enq);
    EXPECT_EQ(discoveries[0].second, "127.0.0.3");
}

}  // namespace
}  // namespace lut
