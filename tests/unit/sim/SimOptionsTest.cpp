// Which loggers the command line makes, and the safety rule that they bind loopback addresses only.
#include "sim/SimOptions.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "link/uPubpro.h"

namespace lut::sim {
namespace {

TEST(SimOptions, BindsLoopbackAddressesOnly) {
    for (const char* address : {"127.0.0.1", "127.0.0.2", "127.255.255.254"}) {
        EXPECT_EQ(LoopbackError(address), "") << address;
    }
    for (const char* address : {"192.0.2.2", "0.0.0.0", "10.0.0.1", "128.0.0.1", "255.255.255.255"}) {
        EXPECT_NE(LoopbackError(address).find("loopback addresses only"), std::string::npos) << address;
    }
    for (const char* address : {"localhost", "127.0.0", "127.0.0.256", ""}) {
        EXPECT_NE(LoopbackError(address).find("not a dotted IPv4 address"), std::string::npos) << address;
    }
}

TEST(SimOptions, CountsLoggersUpFromTheBaseWithDefaultIdentities) {
    const std::vector<LoggerIdentity> loggers = LoggersFromBase("127.0.0.254", 3);
    ASSERT_EQ(loggers.size(), 3u);
    EXPECT_EQ(loggers[0].address, "127.0.0.254");
    EXPECT_EQ(loggers[1].address, "127.0.0.255");
    EXPECT_EQ(loggers[2].address, "127.0.1.0");
    EXPECT_EQ(loggers[0].serial, "SN0001");
    EXPECT_EQ(loggers[2].serial, "SN0003");
    EXPECT_EQ(loggers[0].version, "S1.00");
    EXPECT_EQ(loggers[2].version, "S1.02");
}

TEST(SimOptions, RefusesBasesAndCountsOutsideLoopback) {
    struct Case {
        const char* base;
        std::size_t count;
    };
    for (const Case& c : {Case{"192.0.2.2", 1}, Case{"127.255.255.255", 2}, Case{"127.0.0.2", 0},
                          Case{"127.0.0.2", MaxLoggers + 1}, Case{"nonsense", 1}}) {
        EXPECT_THROW(LoggersFromBase(c.base, c.count), std::invalid_argument) << c.base << " x" << c.count;
    }
}

TEST(SimOptions, ReadsALoggerSpecificationWithDefaultsForMissingFields) {
    struct Case {
        const char* option;
        LoggerIdentity expected;
    };
    for (const Case& c : {Case{"127.0.0.5", {"127.0.0.5", "SN0003", "S1.02"}},
                          Case{"127.0.0.5,12345", {"127.0.0.5", "12345", "S1.02"}},
                          Case{"127.0.0.5,12345,S2.00", {"127.0.0.5", "12345", "S2.00"}},
                          Case{"127.0.0.5,,V1.0", {"127.0.0.5", "SN0003", "V1.0"}},
                          Case{"127.0.0.5, A B ,S 1", {"127.0.0.5", " A B ", "S 1"}}}) {
        const LoggerIdentity logger = LoggerFromOption(c.option, 2);
        EXPECT_EQ(logger.address, c.expected.address) << c.option;
        EXPECT_EQ(logger.serial, c.expected.serial) << c.option;
        EXPECT_EQ(logger.version, c.expected.version) << c.option;
    }
    for (const char* option : {"192.168.1.5,1", "127.0.0.5,a,b,c", ",SN1,S1", "127.0.0.5 ,SN1"}) {
        EXPECT_THROW(LoggerFromOption(option, 0), std::invalid_argument) << option;
    }
}

TEST(SimOptions, RefusesSharedAddressesAndTextsThatCannotTravelInAFrame) {
    SimOptions good;
    good.loggers = {{"127.0.0.2", "SN1", "S1"}, {"127.0.0.3", "SN2", "S2"}};
    EXPECT_NO_THROW(CheckOptions(good));

    SimOptions shared = good;
    shared.loggers[1].address = "127.0.0.2";
    SimOptions escInSerial = good;
    escInSerial.loggers[0].serial = "SN\x1B";
    SimOptions enqInVersion = good;
    enqInVersion.loggers[1].version = "S\x05";
    SimOptions enqInRefusal = good;
    enqInRefusal.behaviour.refusal = "E8\x05";
    SimOptions escInFailure = good;
    escInFailure.behaviour.failAnswer.emplace(
        1, FrameStart);  // emplaced: GCC 12 at -O3 flags a false -Wrestrict on assigning "\x1B"
    for (const SimOptions* bad : {&shared, &escInSerial, &enqInVersion, &enqInRefusal, &escInFailure}) {
        EXPECT_THROW(CheckOptions(*bad), std::invalid_argument);
    }
}

}  // namespace
}  // namespace lut::sim
