// The command line of logger-update: its two commands, their options and the help a technician reads.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "update/ToolCore.h"

namespace lut::cli {

struct CommonOptions {
    std::optional<std::string> localAddress;  // whose /24 is swept; unset: the window's rule
    ToolOptions tool;                         // bind address, the two ports and the search's rounds
    std::chrono::milliseconds wait{3000};     // how long to wait for answers
    bool json = false;
    std::optional<std::string> capture;  // the pcap or pcapng file that records every datagram
    bool allAdapters = false;            // search the /24 of every adapter, each from its own address
};

struct SearchOptions {
    CommonOptions common;
};

struct UpdateOptions {
    CommonOptions common;
    std::vector<std::string> loggers;    // dotted IPv4 addresses of the loggers to update
    std::string file;                    // the update file
    std::optional<std::string> version;  // replaces the version taken from the file name
    bool verify = true;                  // ask the logger for its version after "Update complete"
    std::chrono::milliseconds verifyWait{60'000};
    std::chrono::milliseconds verifyInterval{1000};  // between two probes of the version check
    bool record = true;                              // append each attempt to the update record
    // A whole site: search first, then update every listed logger whose version differs from the file's.
    bool all = false;
    std::optional<std::string> below{};  // only loggers whose version sorts below this one
    int parallel = 8;                    // loggers updated at the same time
    int canary = 0;                      // the first loggers, updated alone before any other starts
    std::optional<int> maxFailures{};    // failures after which no further logger starts (default 1)
    bool keepGoing = false;              // go on after any number of failures
    bool dryRun = false;                 // list what would be updated, send nothing but the search
    std::optional<int> expect{};         // --all: the loggers the site has; fewer found updates none

    // The approved file's SHA-256, lower-case: another file is refused before anything is sent.
    std::optional<std::string> sha256{};

    // One logger named, nothing of a batch asked: the update of exactly that logger.
    bool Single() const { return !all && loggers.size() == 1 && !below && !dryRun; }
};

struct DoctorOptions {
    CommonOptions common;
    bool probe = false;  // also run one search; otherwise nothing is sent
};

struct HistoryOptions {
    std::optional<std::string> logger;  // only this logger's lines: its IP address or serial number
    bool json = false;
};

using Invocation = std::variant<SearchOptions, UpdateOptions, HistoryOptions, DoctorOptions>;

struct ParseResult {
    std::optional<Invocation> invocation;  // empty: end at once with exitCode
    int exitCode = 0;
};

// Help goes to out (exit code 0); a wrong command line gets its reason on err (exit code 1).
ParseResult ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace lut::cli
