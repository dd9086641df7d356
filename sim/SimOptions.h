// What the simulated loggers are and how they behave: the loggers' identities, the answers they give and
// the faults they put into them, and how the process runs. main.cpp fills it from the command line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sim/NetworkFaults.h"

namespace lut::sim {

// One simulated logger: the loopback address it binds, and what it answers to a probe.
struct LoggerIdentity {
    std::string address;
    std::string serial;
    std::string version;
};

// How every simulated logger answers, faults included. The defaults give a well-behaved logger.
struct LoggerBehaviour {
    std::uint32_t startBlock = 0;           // the first block asked for in the acceptance
    std::optional<std::string> refusal;     // answered to every update request instead of an acceptance
    std::set<std::uint32_t> dropBlocks;     // blocks lost on their first arrival
    unsigned lossPercent = 0;               // share of blocks lost on their first arrival, chosen by seed
    std::uint64_t seed = 1;                 // with the logger's address, decides which blocks the share hits
    unsigned silentQueries = 0;             // the first this many "EN" queries go unanswered
    bool silent = false;                    // no "EN" query is answered
    std::optional<std::string> failAnswer;  // answered to every "EN" query instead of the result
    bool split = false;                     // each answer goes out in two datagrams
    bool junk = false;                      // junk bytes stand before and after each answer frame
    bool badCheck = false;                  // answers on the update port carry a wrong check code
    bool noVersion = false;                 // the probe answer carries the serial number alone
    bool adoptVersion = true;               // after a completed update, the probe answer gives its version
    std::chrono::milliseconds restartAfterUpdate{0};  // silence after a completed update, as while restarting
};

struct SimOptions {
    std::vector<LoggerIdentity> loggers;
    LoggerBehaviour behaviour;
    NetworkFaults network;  // seeded with behaviour.seed
    std::uint16_t discoveryPort = 23;
    std::uint16_t updatePort = 8000;
    std::chrono::milliseconds runTime{600'000};
    std::string outDir;       // where completed images are written; empty: nowhere
    std::string logFile;      // empty: standard error
    bool anyAddress = false;  // loggers may bind addresses outside 127.0.0.0/8: network-namespace tests only
};

// Most loggers one process simulates: as many as a /24 subnet, which is all that one search reaches.
inline constexpr std::size_t MaxLoggers = 254;

// The serial number and version a logger gets when none is given: "SN0001" and "S1.00" for the first.
std::string DefaultSerial(std::size_t index);
std::string DefaultVersion(std::size_t index);

// Empty when the dotted IPv4 address lies in 127.0.0.0/8; otherwise why it may not be bound.
std::string LoopbackError(std::string_view address);

// The loggers at count consecutive addresses from base, with default serial numbers and versions.
// Throws std::invalid_argument with a readable text on a bad base or count.
std::vector<LoggerIdentity> LoggersFromBase(std::string_view base, std::size_t count);

// One logger from "ADDRESS[,SERIAL[,VERSION]]"; empty or missing fields take the defaults of the index.
// The address must lie in 127.0.0.0/8 unless anyAddress is set. Throws std::invalid_argument with a
// readable text.
LoggerIdentity LoggerFromOption(std::string_view option, std::size_t index, bool anyAddress = false);

// Throws std::invalid_argument when two loggers share an address, an address may not be bound (outside
// 127.0.0.0/8 without anyAddress) or a text cannot travel in a frame (an ESC, ENQ or NUL inside a serial
// number, version or answer payload).
void CheckOptions(const SimOptions& options);

}  // namespace lut::sim
