// The simulated loggers on real loopback sockets: answers leave the port that received, towards the
// sender's own address and port, and a stop signal ends the loop.
#include "sim/SimRunner.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <array>
#include <csignal>
#include <sstream>
#include <thread>

#include "link/Endpoint.h"
#include "link/Readiness.h"
#include "link/uPubpro.h"

namespace lut::sim {
namespace {

struct Answer {
    std::string bytes;
    std::string senderAddress;
    std::uint16_t senderPort = 0;
};

// The next datagram at the endpoint, awaited for at most two seconds.
std::optional<Answer> AwaitAnswer(Endpoint& endpoint) {
    WatchedHandle watched{endpoint.Handle()};
    if (WaitUntilReadable({&watched, 1}, std::chrono::seconds(2)) || !watched.ready) {
        return std::nullopt;
    }
    std::array<char, 2048> buffer{};
    const ReceiveResult received = endpoint.Receive(buffer);
    return Answer{std::string(buffer.data(), received.count), received.senderAddress, received.senderPort};
}

TEST(SimRunner, AnswersProbeAndRequestOnLoopbackAndStopsOnSigterm) {
    SimOptions options;
    options.loggers = {{"127.0.0.2", "SN7", "S7.00"}, {"127.0.0.3", "SN8", "S8.00"}};
    options.discoveryPort = 0;
    options.updatePort = 0;
    options.runTime = std::chrono::seconds(10);
    std::ostringstream out;
    SimLog log(out);
    SimRunner runner(options, log);
    runner.Open();
    Endpoint tool;
    ASSERT_FALSE(tool.Open({"127.0.0.1", 0}));
    std::thread serving([&runner] { runner.Run(); });

    const std::uint16_t discoveryPort = runner.LocalPort(1, Port::Discovery);
    ASSERT_FALSE(tool.SendTo(DiscoveryProbe, "127.0.0.3", discoveryPort));
    const std::optional<Answer> probed = AwaitAnswer(tool);

    const std::uint16_t updatePort = runner.LocalPort(0, Port::Update);
    ASSERT_FALSE(tool.SendTo(MakeFrame("LUS1.020001"), "127.0.0.2", updatePort));
    const std::optional<Answer> accepted = AwaitAnswer(tool);

    if (probed || accepted) {
        // An answer proves the loop runs with its signal handling in place.
        pthread_kill(serving.native_handle(), SIGTERM);
    }
    serving.join();

    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->bytes, "\x1BSN8#S8.00\x05");
    EXPECT_EQ(probed->senderAddress, "127.0.0.3");
    EXPECT_EQ(probed->senderPort, discoveryPort);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->bytes, MakeFrame("R0000"));
    EXPECT_EQ(accepted->senderAddress, "127.0.0.2");
    EXPECT_EQ(accepted->senderPort, updatePort);
    EXPECT_NE(out.str().find("ready: 2 simulated logger(s)"), std::string::npos);
    EXPECT_NE(out.str().find("127.0.0.3 <- probe from 127.0.0.1:" + std::to_string(tool.LocalPort())),
              std::string::npos);
    EXPECT_NE(out.str().find("stopped by SIGTERM"), std::string::npos) << out.str();
}

TEST(SimRunner, ReportsAPortThatCannotBeBound) {
    Endpoint taken;
    ASSERT_FALSE(taken.Open({"127.0.0.2", 0}));
    SimOptions options;
    options.loggers = {{"127.0.0.2", "SN7", "S7.00"}};
    options.discoveryPort = taken.LocalPort();
    std::ostringstream out;
    SimLog log(out);
    SimRunner runner(options, log);
    try {
        runner.Open();
        FAIL() << "binding a taken port succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(
            std::string(error.what()).find("cannot bind 127.0.0.2:" + std::to_string(taken.LocalPort())),
            std::string::npos)
            << error.what();
    }
}

}  // namespace
}  // namespace lut::sim
