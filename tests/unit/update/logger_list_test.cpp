#include "TestPlatform.h"
#include "update/search/LoggerList.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "FakeWindow.h"
#include "link/Readiness.h"
#include "link/RxAccumulator.h"
#include "link/uPubpro.h"

namespace lut {
namespace {

using test::FakeWindow;

std::string Frame(const std::string& body) {
    return FrameStart + body + FrameEnd;
}

TEST(SubnetPrefix, RunsUpToTheThirdFullStopOrTheLastOfFewer) {
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.1.20", "192.168.1."},
        {"127.0.0.1", "127.0.0."},
        {"10.0.1", "10.0."},
        {"10.1", "10."},
        {"lbl3", ""},
        {"", ""},
        {"1.2.3.4.5", "1.2.3."},
        {"...", "..."},
    };
    for (const auto& [local, prefix] : cases) {
        EXPECT_EQ(SubnetPrefix(local), prefix) << local;
    }
}

TEST(SweepFailure, SaysHowManyProbesCouldNotBeSentFromWhereAndWhy) {
    const std::string unreachable = std::make_error_code(std::errc::network_unreachable).message();
    const std::pair<int, std::string> cases[] = {
        {0, ""},
        {254, "0 of 254 probes could be sent from 192.0.2.1: " + unreachable},
        {3, "3 of 254 probes could not be sent from 192.0.2.1: " + unreachable},
    };
    for (const auto& [failed, text] : cases) {
        SweepResult sweep;
        sweep.from = "192.0.2.1";
        sweep.probes = 254;
        sweep.failed = failed;
        sweep.firstError = std::make_error_code(std::errc::network_unreachable);
        EXPECT_EQ(SweepFailure(sweep), text);
    }
}

// The list's logic without a sweep: the endpoint is never opened, so nothing can be sent.
class DiscoveryAnswers : public testing::Test {
  protected:
    DiscoveryAnswers() {
        window.localAddress = "192.168.1.20";
        state.Store(Protocol::Search);
    }

    FakeWindow window;
    AtomicProtocolState state;
    Endpoint closedSocket;
    LoggerList list{window, state, closedSocket, DiscoveryPort};
};

TEST_F(DiscoveryAnswers, ASweepWhoseProbesAllFailCountsThemWithTheFirstReason) {
    Endpoint open;
    ASSERT_FALSE(open.Open({"127.0.0.1", 0}));
    const struct {
        const char* what;
        Endpoint& endpoint;
        std::string localAddress;
        std::errc error;
    } cases[] = {
        {"endpoint not open", closedSocket, "192.168.1.20", std::errc::bad_file_descriptor},
        {"local address that is no address", open, "lbl3", std::errc::invalid_argument},
    };
    for (const auto& c : cases) {
        window.localAddress = c.localAddress;
        const SweepResult sweep = LoggerList(window, state, c.endpoint, DiscoveryPort).btnsearchClick();
        EXPECT_EQ(sweep.from, c.localAddress) << c.what;
        EXPECT_EQ(sweep.probes, 254) << c.what;
        EXPECT_EQ(sweep.Sent(), 0) << c.what;
        EXPECT_EQ(sweep.firstError, c.error) << c.what;
    }
}

TEST_F(DiscoveryAnswers, RowsAreAddedByAddressAndRefreshedInPlace) {
    struct Step {
        const char* what;
        std::string frame;
        std::string sender;
        std::vector<LoggerRow> rows;  // the whole list afterwards
    };
    const LoggerRow first{"12345", "192.168.1.30", "S1.02"};
    const LoggerRow refreshed{" 12345 ", "192.168.1.30", "S1.02"};
    const LoggerRow second{"12345", "192.168.1.3", "S1.03"};
    const LoggerRow noVersion{"ABC", "192.168.1.40", ""};
    const LoggerRow hashes{"A", "192.168.1.41", "B#C"};
    const LoggerRow elsewhere{"4711", "10.20.30.40", "S2.00"};
    const Step steps[] = {
        {"a new logger", Frame("12345#S1.02"), "192.168.1.30", {first}},
        {"the same address again: caption as sent, version kept",
         Frame(" 12345 #S1.03"),
         "192.168.1.30",
         {refreshed}},
        {"the same frame from an address that only starts alike",
         Frame(" 12345 #S1.03"),
         "192.168.1.3",
         {refreshed, second}},
        {"no '#': empty version", Frame("ABC"), "192.168.1.40", {refreshed, second, noVersion}},
        {"empty serial number", Frame("#S1"), "192.168.1.42", {refreshed, second, noVersion}},
        {"empty frame", Frame(""), "192.168.1.42", {refreshed, second, noVersion}},
        {"the version runs from the first '#' to the end",
         Frame("A#B#C"),
         "192.168.1.41",
         {refreshed, second, noVersion, hashes}},
        {"our own address", Frame("99#S9"), "192.168.1.20", {refreshed, second, noVersion, hashes}},
        {"an address outside the swept subnet",
         Frame("4711#S2.00"),
         "10.20.30.40",
         {refreshed, second, noVersion, hashes, elsewhere}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        list.HandleDiscoveryFrame(step.frame, step.sender);
        EXPECT_EQ(list.Rows(), step.rows);
        EXPECT_EQ(window.rows, step.rows);
    }
}

TEST_F(DiscoveryAnswers, NewCaptionLosesSpacesAndControlsButKeepsOtherBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"\t 4711\r\n", "4711"},
        {"\xB5"
         "4711\xE9",
         "\xB5"
         "4711\xE9"},
        {"   ", ""},  // spaces are a serial number, though an empty one once trimmed
    };
    for (const auto& [serial, caption] : cases) {
        LoggerList fresh{window, state, closedSocket, DiscoveryPort};
        window.ClearList();
        fresh.HandleDiscoveryFrame(Frame(serial + "# S2 "), "192.168.1.50");
        EXPECT_EQ(fresh.Rows(), (std::vector<LoggerRow>{{caption, "192.168.1.50", " S2 "}})) << serial;
        EXPECT_EQ(window.rows, fresh.Rows());
    }
}

// Two devices with one address: the window's row follows the last answer; the ledger keeps both.
TEST_F(DiscoveryAnswers, EverySerialNumberHeardFromAnAddressIsKeptUntilTheListIsEmptied) {
    list.HandleDiscoveryFrame(Frame("1001#S1"), "192.168.1.30");
    list.HandleDiscoveryFrame(Frame(" 1002 #S2"), "192.168.1.30");
    list.HandleDiscoveryFrame(Frame("1001#S1.1"), "192.168.1.30");
    list.HandleDiscoveryFrame(Frame("2001#S1"), "192.168.1.31");
    list.SendSweep();  // another round keeps the list and what was heard

    EXPECT_EQ(list.Rows(),
              (std::vector<LoggerRow>{{"1001", "192.168.1.30", "S1"}, {"2001", "192.168.1.31", "S1"}}));
    EXPECT_EQ(list.Answers().At("192.168.1.30"),
              (std::vector<LoggerRow>{{"1001", "192.168.1.30", "S1"}, {"1002", "192.168.1.30", "S2"}}));
    EXPECT_TRUE(list.Answers().Conflicting("192.168.1.30"));
    EXPECT_FALSE(list.Answers().Conflicting("192.168.1.31"));
    EXPECT_TRUE(list.Answers().At("192.168.1.32").empty());

    list.btnsearchClick();
    EXPECT_TRUE(list.Answers().At("192.168.1.30").empty());
}

TEST_F(DiscoveryAnswers, AnswersOutsideASearchAreDroppedForGood) {
    for (const Protocol other : {Protocol::Idle, Protocol::Request, Protocol::Update, Protocol::End}) {
        SCOPED_TRACE(ToText(other));
        state.Store(other);
        list.HandleDiscoveryFrame(Frame("12345#S1.02"), "192.168.1.30");
        state.Store(Protocol::Search);
        EXPECT_TRUE(list.Rows().empty());
        EXPECT_TRUE(window.rows.empty());
    }
}

// Waits, boundedly, for one datagram on an endpoint.
ReceiveResult ReceiveWithin(Endpoint& endpoint, std::chrono::milliseconds limit, std::string& bytes) {
    WatchedHandle watched{endpoint.Handle()};
    std::array<char, RxBufferSize> buffer;
    if (WaitUntilReadable({&watched, 1}, limit) || !watched.ready) {
        return {};
    }
    ReceiveResult result = endpoint.Receive(buffer);
    bytes.assign(buffer.data(), result.count);
    return result;
}

// Fake loggers on several loopback addresses, all on one port; the sweep's local address is 127.0.0.1.
class LoopbackSweep : public testing::Test {
  protected:
    void SetUp() override {
        LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER();
        ASSERT_FALSE(discovery.Open({"127.0.0.1", 0}));
        window.localAddress = "127.0.0.1";
        for (int attempt = 0; attempt < 5 && !OpenLoggers(); ++attempt) {
            loggers.clear();
        }
        ASSERT_FALSE(loggers.empty()) << "no free port for the fake loggers on loopback";
    }

    // One port for all: the first logger takes a free one, the rest bind the same.
    bool OpenLoggers() {
        std::uint16_t port = 0;
        for (const int host : {1, 2, 128, 254, 0, 255}) {
            auto logger = std::make_unique<Endpoint>();
            if (logger->Open({"127.0.0." + std::to_string(host), port})) {
                return false;
            }
            port = logger->LocalPort();
            loggers[host] = std::move(logger);
        }
        loggerPort = port;
        return true;
    }

    FakeWindow window;
    AtomicProtocolState state;
    Endpoint discovery;
    std::map<int, std::unique_ptr<Endpoint>> loggers;
    std::uint16_t loggerPort = 0;
};

TEST_F(LoopbackSweep, SearchEmptiesTheListAndSendsTheProbeToHosts1To254) {
    window.rows = {{"1", "127.0.0.9", "S1"}};
    window.selected = 0;
    state.Store(Protocol::End);
    LoggerList list(window, state, discovery, loggerPort);

    const SweepResult sweep = list.btnsearchClick();

    EXPECT_EQ(sweep.Sent(), 254);
    EXPECT_EQ(sweep.failed, 0);
    EXPECT_TRUE(window.rows.empty());
    EXPECT_FALSE(window.SelectedRow());
    EXPECT_EQ(state.Load(), Protocol::Search);
    for (const int host : {1, 2, 128, 254}) {
        SCOPED_TRACE(host);
        std::string bytes;
        const ReceiveResult probe = ReceiveWithin(*loggers[host], std::chrono::seconds(2), bytes);
        EXPECT_EQ(bytes, DiscoveryProbe);
        EXPECT_EQ(probe.senderAddress, "127.0.0.1");
        EXPECT_EQ(probe.senderPort, discovery.LocalPort()) << "probes leave from the discovery endpoint";
        EXPECT_EQ(ReceiveWithin(*loggers[host], std::chrono::milliseconds(0), bytes).count, 0u)
            << "one probe a host";
    }
    for (const int host : {0, 255}) {
        std::string bytes;
        EXPECT_EQ(ReceiveWithin(*loggers[host], std::chrono::milliseconds(0), bytes).count, 0u)
            << "host " << host << " is not probed";
    }
}

TEST_F(LoopbackSweep, AnswersToTheProbeBecomeRowsExceptOurOwn) {
    LoggerList list(window, state, discovery, loggerPort);
    list.btnsearchClick();

    // Loggers .2 and .128 answer; so does our own address, whose answer must not make a row.
    const std::map<int, std::string> answers = {{1, "OWN#S0"}, {2, "12345#S1.02"}, {128, "777#S2.00"}};
    for (const auto& [host, body] : answers) {
        std::string probe;
        const ReceiveResult from = ReceiveWithin(*loggers[host], std::chrono::seconds(2), probe);
        ASSERT_EQ(probe, DiscoveryProbe);
        ASSERT_FALSE(loggers[host]->SendTo(Frame(body), from.senderAddress, from.senderPort));
    }

    RxAccumulator DiscoveryRxText(Channel::Discovery);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        std::string bytes;
        const ReceiveResult answer = ReceiveWithin(discovery, std::chrono::seconds(2), bytes);
        ASSERT_GT(answer.count, 0u);
        DiscoveryRxText.ExtractFrames(
            bytes, [&](const std::string& frame) { list.HandleDiscoveryFrame(frame, answer.senderAddress); });
    }

    EXPECT_EQ(list.Rows(),
              (std::vector<LoggerRow>{{"12345", "127.0.0.2", "S1.02"}, {"777", "127.0.0.128", "S2.00"}}));
    EXPECT_EQ(window.rows, list.Rows());
}

}  // namespace
}  // namespace lut
