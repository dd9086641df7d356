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

}  // namespace

std::string ResultLine(const Attempt& attempt) {
    const std::string sn = attempt.Logger() ? Printable(attempt.Logger()->sn) : "";
    return sn + " at " + attempt.Address() + ": " + attempt.ResultName() + " in " +
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
                        attempt->ResultName(), attempt->Result() ? Tenths(attempt->Seconds()) : "-"});
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

std::string TotalLine(const Attempts& attempts, double seconds, std::optional<ExitCode> firstFailure,
                      std::size_t unrouted) {
    // How many ended each way, in the order the ways first appear in the table.
    std::vector<std::pair<std::string, std::size_t>> counts;
    for (const auto& attempt : attempts) {
        const std::string name = attempt->ResultName();
        const auto found = std::find_if(counts.begin(), counts.end(),
                                        [&name](const auto& count) { return count.first == name; });
        if (found == counts.end()) {
            counts.emplace_back(name, 1);
        } else {
            ++found->second;
        }
    }
    std::string total = std::to_string(attempts.size()) + " loggers in " + Tenths(seconds);
    for (std::size_t i = 0; i < counts.size(); ++i) {
        total += (i == 0 ? ": " : ", ") + std::to_string(counts[i].second) + " " + counts[i].first;
    }
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
