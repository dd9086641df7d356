#include "cli/BatchReport.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "update/TrimText.h"

namespace lut::cli {
namespace {

std::string Tenths(double seconds) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << seconds << " s";
    return text.str();
}

std::string OutcomeName(const Attempt& attempt) {
    if (attempt.Result()) {
        return std::string(NameOf(attempt.Result()->code));
    }
    return std::string(NameOf(attempt.Skipped().value_or(Attempt::Skip::Stopped)));
}

}  // namespace

std::string ResultLine(const Attempt& attempt) {
    const std::string sn = attempt.Logger() ? Printable(attempt.Logger()->sn) : "";
    return sn + " at " + attempt.Address() + ": " + OutcomeName(attempt) + " in " +
           Tenths(attempt.Seconds()) + ": " + attempt.Result()->message;
}

std::vector<std::string> SummaryTable(const Attempts& attempts) {
    std::vector<std::vector<std::string>> rows{{"SN", "IP", "Before", "After", "Outcome", "Time"}};
    for (const auto& attempt : attempts) {
        const std::optional<LoggerRow>& logger = attempt->Logger();
        const VersionCheck* check = attempt->Check();
        rows.push_back({logger ? Printable(logger->sn) : "", attempt->Address(),
                        logger ? Printable(std::string(TrimBlankAndControl(logger->version))) : "",
                        check != nullptr && !check->Reported().empty() ? Printable(check->Reported()) : "-",
                        OutcomeName(*attempt), attempt->Result() ? Tenths(attempt->Seconds()) : "-"});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::ostringstream line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line << std::left << std::setw(i + 1 == row.size() ? 0 : static_cast<int>(widths[i] + 2))
                 << row[i];
        }
        lines.push_back(line.str());
    }
    return lines;
}

std::string TotalLine(std::size_t loggers, double seconds, std::optional<ExitCode> firstFailure,
                      std::size_t unrouted) {
    std::string total = std::to_string(loggers) + " loggers in " + Tenths(seconds);
    if (firstFailure) {
        total += "; the first failure: " + std::string(NameOf(*firstFailure));
    }
    if (unrouted > 0) {
        total += "; " + std::to_string(unrouted) +
                 " update answers from addresses without a running update were ignored";
    }
    return total;
}

Json ReportArray(const Attempts& attempts) {
    Json list = Json::array();
    for (const auto& attempt : attempts) {
        list.push_back(attempt->Report({{"sn", attempt->Logger() ? Json(attempt->Logger()->sn) : Json()}}));
    }
    return list;
}

}  // namespace lut::cli
