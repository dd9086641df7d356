// The command line of logger-update: its two commands, their options and the help a technician reads.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "update/ToolCore.h"

namespace lut::cli {

struct CommonOptions {
    std::optional<std::string> localAddress;  // whose /24 is swept; unset: the window's rule
    ToolOptions tool;                         // bind address and the two ports
    std::chrono::milliseconds wait{3000};     // how long to wait for answers
    bool json = false;
};

struct SearchOptions {
    CommonOptions common;
};

struct UpdateOptions {
    CommonOptions common;
    std::string logger;                  // dotted IPv4 address of the logger to update
    std::string file;                    // the update file
    std::optional<std::string> version;  // replaces the version taken from the file name
    bool verify = true;                  // ask the logger for its version after "Update complete"
    std::chrono::milliseconds verifyWait{60'000};
    std::chrono::milliseconds verifyInterval{1000};  // between two probes of the version check
    bool record = true;                              // append each attempt to the update record
};

struct HistoryOptions {
    std::optional<std::string> logger;  // only this logger's lines: its IP address or serial number
    bool json = false;
};

using Invocation = std::variant<SearchOptions, UpdateOptions, HistoryOptions>;

struct ParseResult {
    std::optional<Invocation> invocation;  // empty: end at once with exitCode
    int exitCode = 0;
};

// Help goes to out (exit code 0); a wrong command line gets its reason on err (exit code 1).
ParseResult ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace lut::cli
