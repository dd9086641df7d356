#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "link/Endpoint.h"
#include "link/uPubpro.h"
#include "loopback.h"

namespace lut {
namespace {

using test::Loopback;
using test::WaitReadable;

TEST(Endpoint, RoundTripReportsTheSendersAddressAndPort) {
    Endpoint sender;
    Endpoint receiver;
    ASSERT_FALSE(sender.Open(Loopback()));
    ASSERT_FALSE(receiver.Open(Loopback()));
    ASSERT_NE(receiver.LocalPort(), 0);

    ASSERT_TRUE(sender.SendTo("hello", "127.0.0.1", receiver.LocalPort()));
    ASSERT_TRUE(WaitReadable(receiver));
    std::vector<char> buffer(RxBufferSize);
    const ReceiveResult received = receiver.Receive(buffer);
    EXPECT_EQ(std::string(buffer.data(), received.count), "hello");
    EXPECT_EQ(received.senderAddress, "127.0.0.1");
    EXPECT_EQ(received.senderPort, sender.LocalPort());
}

TEST(Endpoint, ReceiveWithNothingWaitingReturnsAtOnceWithNothing) {
    Endpoint endpoint;
    ASSERT_FALSE(endpoint.Open(Loopback()));
    std::vector<char> buffer(16);
    EXPECT_EQ(endpoint.Receive(buffer).count, 0U);
}

TEST(Endpoint, OpenFailsWithTheReasonAndLeavesNothingOpen) {
    Endpoint holder;
    ASSERT_FALSE(holder.Open(Loopback()));

    const struct {
        const char* why;
        BindRecord bind;
        std::errc error;
    } cases[] = {
        {"port already bound", Loopback(holder.LocalPort()), std::errc::address_in_use},
        {"not dotted IPv4", {"localhost", 0}, std::errc::invalid_argument},
        {"address of no interface", {"203.0.113.9", 0}, std::errc::address_not_available},
    };
    for (const auto& c : cases) {
        Endpoint endpoint;
        const std::error_code error = endpoint.Open(c.bind);
        EXPECT_EQ(error, c.error) << c.why << ": " << error.message();
        EXPECT_FALSE(endpoint.IsOpen()) << c.why;
        EXPECT_EQ(endpoint.Handle(), InvalidSocket) << c.why;
    }
}

TEST(Endpoint, PrivilegedPortNeedsPermission) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, every port may be bound";
    }
    Endpoint endpoint;
    EXPECT_EQ(endpoint.Open(Loopback(DiscoveryPort)), std::errc::permission_denied);
}

TEST(Endpoint, DatagramOfExactlyTheBufferSizeArrivesWholeALongerOneIsLost) {
    Endpoint sender;
    Endpoint receiver;
    ASSERT_FALSE(sender.Open(Loopback()));
    ASSERT_FALSE(receiver.Open(Loopback()));
    std::vector<char> buffer(RxBufferSize);

    const std::string full(RxBufferSize, 'F');
    ASSERT_TRUE(sender.SendTo(full, "127.0.0.1", receiver.LocalPort()));
    ASSERT_TRUE(WaitReadable(receiver));
    const ReceiveResult whole = receiver.Receive(buffer);
    EXPECT_EQ(whole.count, RxBufferSize);
    EXPECT_EQ(std::string(buffer.data(), whole.count), full);

    ASSERT_TRUE(sender.SendTo(std::string(RxBufferSize + 1, 'L'), "127.0.0.1", receiver.LocalPort()));
    ASSERT_TRUE(sender.SendTo("next", "127.0.0.1", receiver.LocalPort()));
    ASSERT_TRUE(WaitReadable(receiver));
    EXPECT_EQ(receiver.Receive(buffer).count, 0U) << "the longer datagram is lost, not cut short";
    ASSERT_TRUE(WaitReadable(receiver));
    const ReceiveResult next = receiver.Receive(buffer);
    EXPECT_EQ(std::string(buffer.data(), next.count), "next");
}

TEST(Endpoint, ClosedOrNeverOpenedEndpointFailsHarmlessly) {
    Endpoint peer;
    ASSERT_FALSE(peer.Open(Loopback()));
    std::vector<char> buffer(16);

    Endpoint never;
    EXPECT_FALSE(never.SendTo("x", "127.0.0.1", peer.LocalPort()));
    EXPECT_EQ(never.Receive(buffer).count, 0U);
    EXPECT_EQ(never.LocalPort(), 0);
    never.Close();

    Endpoint closed;
    ASSERT_FALSE(closed.Open(Loopback()));
    closed.Close();
    closed.Close();
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_FALSE(closed.SendTo("x", "127.0.0.1", peer.LocalPort()));
    EXPECT_EQ(closed.Receive(buffer).count, 0U);
    EXPECT_FALSE(WaitReadable(peer, 0));
}

TEST(Endpoint, DoubleCloseNeverClosesAHandleNowOwnedByAnotherEndpoint) {
    Endpoint first;
    ASSERT_FALSE(first.Open(Loopback()));
    first.Close();
    Endpoint second;
    ASSERT_FALSE(second.Open(Loopback()));  // likely given the number the first one had
    first.Close();
    Endpoint sender;
    ASSERT_FALSE(sender.Open(Loopback()));
    ASSERT_TRUE(sender.SendTo("still open", "127.0.0.1", second.LocalPort()));
    ASSERT_TRUE(WaitReadable(second));
    std::vector<char> buffer(32);
    EXPECT_EQ(second.Receive(buffer).count, 10U);
}

// A worker sends while the GUI thread closes the endpoint and another endpoint takes the freed handle
// number: no datagram may leave through the newcomer's socket.
TEST(Endpoint, CloseWhileAnotherThreadSendsNeverSendsOnAReusedHandle) {
    Endpoint sink;
    ASSERT_FALSE(sink.Open(Loopback()));
    const std::uint16_t sinkPort = sink.LocalPort();
    Endpoint shared;
    ASSERT_FALSE(shared.Open(Loopback()));
    const std::uint16_t sharedPort = shared.LocalPort();

    std::atomic<int> sent{0};
    std::atomic<int> refused{0};
    std::thread worker([&] {
        for (int i = 0; i < 200000 && refused.load() < 2000; ++i) {
            if (shared.SendTo("block", "127.0.0.1", sinkPort)) {
                ++sent;
            } else {
                ++refused;
            }
        }
    });
    while (sent.load() < 50 && refused.load() == 0) {
        std::this_thread::yield();
    }
    shared.Close();
    Endpoint newcomer;
    ASSERT_FALSE(newcomer.Open(Loopback()));
    const std::uint16_t newcomerPort = newcomer.LocalPort();
    worker.join();
    EXPECT_GE(refused.load(), 1);

    std::vector<char> buffer(32);
    while (WaitReadable(sink, 0)) {
        const ReceiveResult received = sink.Receive(buffer);
        if (received.count > 0) {
            ASSERT_EQ(received.senderPort, sharedPort);
            ASSERT_NE(received.senderPort, newcomerPort);
        }
    }
}

}  // namespace
}  // namespace lut
