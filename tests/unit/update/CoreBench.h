// What the tests that run the whole tool core share: a free port on the tool's loopback address, a waker
// that only counts (the test takes the workers' reports when it looks), and a logger made the selected row
// by answering the probe of its one address.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "LoopbackLogger.h"
#include "update/ToolCore.h"

namespace lut::test {

// A port free on the address right now.
inline std::uint16_t FreePort(const std::string& address) {
    Endpoint probe;
    EXPECT_FALSE(probe.Open({address, 0}));
    return probe.LocalPort();
}

class CountingWaker final : public Waker {
  public:
    void Wake() override { ++wakes; }
    std::atomic<int> wakes{0};
};

// The logger at `address` answers the probe of its one address with `body` (serial number, '#', version)
// and becomes the one row of the core's list.
inline void ListLogger(ToolCore& core, const std::string& address, const std::string& body) {
    ASSERT_FALSE(core.Probe(address));
    Endpoint logger;
    ASSERT_FALSE(logger.Open({address, 0}));
    const LinkState& link = core.Link();
    logger.SendTo(FrameStart + body + FrameEnd, link.DiscoveryBindAddress.address,
                  link.DiscoverySocket.LocalPort());
    ASSERT_TRUE(WaitReadable(link.DiscoverySocket));
    core.HandleSocketMessage(ReadEvent);
    ASSERT_EQ(core.Loggers().size(), 1U);
}

}  // namespace lut::test
