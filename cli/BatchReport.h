// How a batch reports its loggers: a result line as each ends, and at the end a summary table (SN, IP,
// before, after, outcome, time) with a total line, or with --json an array of one object per logger.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/BatchScheduler.h"
#include "cli/Output.h"

namespace lut::cli {

// "SN at IP: outcome in 12.3 s: message", for an attempt that has ended.
std::string ResultLine(const Attempt& attempt);

// The table's lines, header first, columns aligned.
std::vector<std::string> SummaryTable(const Attempts& attempts);

// "3 loggers in 41.2 s; the first failure: refused; ..." without the final full stop.
std::string TotalLine(std::size_t loggers, double seconds, std::optional<ExitCode> firstFailure,
                      std::size_t unrouted);

Json ReportArray(const Attempts& attempts);

}  // namespace lut::cli
