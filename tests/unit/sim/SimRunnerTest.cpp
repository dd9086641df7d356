// The simulated loggers on real loopback sockets: answers leave the port that received, towards the
// sender's own address and port, and a stop signal ends the loop.
#include "sim/SimRunner.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
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

std::vector<std::chrono::milliseconds> Delays(FaultyPath& path, Direction direction, int datagrams) {
    std::vector<std::chrono::milliseconds> delays;
    for (int i = 0; i < datagrams; ++i) {
        const auto copies = path.Copies(direction);
        delays.insert(delays.end(), copies.begin(), copies.end());
    }
    return delays;
}

TEST(SimNetwork, DelaysWithinTheJitterReordersDuplicatesAndLosesAnswersOnly) {
    using std::chrono::milliseconds;
    const struct {
        const char* what;
        NetworkFaults faults;
        std::size_t toLogger;  // copies of 1000 datagrams that arrive, each way
        std::size_t toTool;
        milliseconds least;
        milliseconds most;
    } cases[] = {
        {"a perfect network", {}, 1000, 1000, milliseconds(0), milliseconds(0)},
        {"every answer lost", {.answerLossPercent = 100}, 1000, 0, milliseconds(0), milliseconds(0)},
        {"everything twice", {.duplicatePercent = 100}, 2000, 2000, milliseconds(0), milliseconds(0)},
        {"delay and jitter",
         {.delay = milliseconds(120), .jitter = milliseconds(60)},
         1000,
         1000,
         milliseconds(60),
         milliseconds(180)},
        {"jitter beyond the delay",
         {.delay = milliseconds(10), .jitter = milliseconds(50)},
         1000,
         1000,
         milliseconds(0),
         milliseconds(60)},
    };
    for (const auto& c : cases) {
        FaultyPath path(c.faults, 1, "127.0.0.2");
        const auto in = Delays(path, Direction::ToLogger, 1000);
        const auto out = Delays(path, Direction::ToTool, 1000);
        EXPECT_EQ(in.size(), c.toLogger) << c.what;
        EXPECT_EQ(out.size(), c.toTool) << c.what;
        for (const auto& delays : {in, out}) {
            if (delays.empty()) {
                continue;
            }
            EXPECT_EQ(*std::min_element(delays.begin(), delays.end()), c.least) << c.what;
            EXPECT_EQ(*std::max_element(delays.begin(), delays.end()), c.most) << c.what;
        }
        if (c.faults.jitter.count() > 0) {
            EXPECT_FALSE(std::is_sorted(in.begin(), in.end())) << c.what << ": a later datagram overtakes";
        }
    }
}

TEST(SimNetwork, TheShareOfLostAnswersFollowsTheSeedAndTheAddress) {
    const NetworkFaults faults{.duplicatePercent = 2, .answerLossPercent = 3};
    const auto arrived = [&faults](std::uint64_t seed, const char* address) {
        FaultyPath path(faults, seed, address);
        return Delays(path, Direction::ToTool, 10'000).size();
    };
    const std::size_t first = arrived(1, "127.0.0.2");
    EXPECT_GT(first, 10'000U - 400U);
    EXPECT_LT(first, 10'000U - 100U);
    EXPECT_EQ(arrived(1, "127.0.0.2"), first) << "the same on every run";
    EXPECT_NE(arrived(2, "127.0.0.2"), first);
    EXPECT_NE(arrived(1, "127.0.0.3"), first);
}

// Each probe arrives twice and each answer leaves twice, after their delays, from the loop that serves
// the other logger too; lost answers are logged.
TEST(SimRunner, DeliversDelayedAndDuplicatedDatagramsFromItsOneLoop) {
    for (const unsigned loss : {0u, 100u}) {
        SimOptions options;
        options.loggers = {{"127.0.0.2", "SN7", "S7.00"}, {"127.0.0.3", "SN8", "S8.00"}};
        options.discoveryPort = 0;
        options.network = {.delay = std::chrono::milliseconds(30),
                           .jitter = std::chrono::milliseconds(20),
                           .duplicatePercent = 100,
                           .answerLossPercent = loss};
        options.runTime = std::chrono::seconds(10);
        std::ostringstream out;
        SimLog log(out);
        SimRunner runner(options, log);
        runner.Open();
        Endpoint tool;
        ASSERT_FALSE(tool.Open({"127.0.0.1", 0}));
        std::thread serving([&runner] { runner.Run(); });

        for (std::size_t logger : {0U, 1U}) {
            ASSERT_FALSE(tool.SendTo(DiscoveryProbe, options.loggers[logger].address,
                                     runner.LocalPort(logger, Port::Discovery)));
        }
        std::vector<std::string> answers;
        for (std::optional<Answer> answer; answers.size() < 8 && (answer = AwaitAnswer(tool));) {
            answers.push_back(answer->senderAddress + " " + answer->bytes);
        }
        pthread_kill(serving.native_handle(), SIGTERM);
        serving.join();

        if (loss == 0) {
            EXPECT_EQ(std::count(answers.begin(), answers.end(), "127.0.0.2 \x1BSN7#S7.00\x05"), 4)
                << out.str();
            EXPECT_EQ(std::count(answers.begin(), answers.end(), "127.0.0.3 \x1BSN8#S8.00\x05"), 4)
                << out.str();
        } else {
            EXPECT_TRUE(answers.empty());
            EXPECT_NE(out.str().find("127.0.0.3 answer lost on the way to 127.0.0.1"), std::string::npos)
                << out.str();
        }
    }
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
