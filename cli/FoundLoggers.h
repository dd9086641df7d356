// The loggers a search found, as the command line shows them: one row per logger, an address conflict
// flagged on both of its rows, and the local address whose sweep found it when several adapters swept.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/Output.h"
#include "update/WindowOperations.h"

namespace lut::cli {

struct FoundLogger {
    LoggerRow logger;
    bool conflict = false;  // another serial number answered from the same address
    std::string via;        // the local address that found it; empty when one address swept
};

// The table (SN, IP, Version; a "!" column first when there is a conflict, "Via" last when via is shown),
// or "No logger answered.".
void PrintFoundTable(std::ostream& out, const std::vector<FoundLogger>& found, bool showVia);

// [{"sn", "ip", "version", "conflict"[, "via"]}, ...]
Json FoundJson(const std::vector<FoundLogger>& found, bool showVia);

// One warning line for each conflicting address, naming every serial number heard from it.
void WarnConflicts(std::ostream& err, const std::vector<FoundLogger>& found);

// The loggers found at one address.
std::vector<LoggerRow> LoggersAt(const std::vector<FoundLogger>& found, const std::string& address);

// Why a conflicting address is not updated, naming the loggers that answered from it.
std::string ConflictOutcome(const std::vector<LoggerRow>& loggers);

// The conflicting addresses, each once, in the order of the list.
std::vector<std::string> ConflictingAddresses(const std::vector<FoundLogger>& found);

}  // namespace lut::cli
