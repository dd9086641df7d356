// search: the sweep of the window's Search button, the answers collected for --wait seconds, the list
// printed as a table or as JSON.
#include <algorithm>
#include <array>
#include <iomanip>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "link/LocalAddress.h"
#include "update/LoggerList.h"

namespace lut::cli {
namespace {

void PrintTable(std::ostream& out, const std::vector<LoggerRow>& rows) {
    std::vector<std::array<std::string, 3>> cells{{"SN", "IP", "Version"}};
    for (const auto& row : rows) {
        cells.push_back({Printable(row.sn), row.ip, Printable(row.version)});
    }
    std::array<std::size_t, 3> width{};
    for (const auto& line : cells) {
        for (std::size_t column = 0; column < width.size(); ++column) {
            width[column] = std::max(width[column], line[column].size());
        }
    }
    for (const auto& line : cells) {
        out << std::left << std::setw(static_cast<int>(width[0])) << line[0] << "  "
            << std::setw(static_cast<int>(width[1])) << line[1] << "  " << line[2] << '\n';
    }
}

void PrintJson(std::ostream& out, const std::vector<LoggerRow>& rows) {
    Json list = Json::array();
    for (const auto& row : rows) {
        list.push_back({{"sn", row.sn}, {"ip", row.ip}, {"version", row.version}});
    }
    out << ToJsonText(list) << '\n';
}

}  // namespace

int RunSearch(const SearchOptions& options, const RunContext& context) {
    std::string localAddress;
    try {
        localAddress = options.common.localAddress ? *options.common.localAddress : LocalAddressText();
    } catch (const std::runtime_error& error) {
        context.err << "The local address could not be found: " << error.what()
                    << "\nGive the address whose subnet to search with --local-address.\n";
        return ToInt(ExitCode::EndpointFailed);
    }

    Session session(options.common.tool, localAddress, context.pacer, context.interruptHandle);
    if (const auto failure = session.Start()) {
        context.err << *failure << '\n';
        return ToInt(ExitCode::EndpointFailed);
    }
    if (!options.common.json) {
        context.err << "Searching " << SubnetPrefix(localAddress) << "1 to " << SubnetPrefix(localAddress)
                    << "254 for " << options.common.wait.count() / 1000.0 << " s ...\n";
    }
    const SweepResult sweep = session.Core().btnsearchClick();
    if (sweep.failed > 0) {
        context.err << SweepFailure(sweep) << '\n';
    }
    if (sweep.Sent() == 0) {
        return ToInt(ExitCode::EndpointFailed);
    }
    const auto end = session.Loop().Run([] { return false; },
                                        {EventLoop::Clock::now() + options.common.wait, std::nullopt});
    if (end == EventLoop::End::Interrupted) {
        context.err << "Search interrupted; no logger was changed.\n";
        return ToInt(ExitCode::Interrupted);
    }

    session.ReportReceiveErrors(context.err);
    const auto& rows = session.Core().Loggers();
    if (options.common.json) {
        PrintJson(context.out, rows);
    } else if (rows.empty()) {
        context.out << "No logger answered.\n";
    } else {
        PrintTable(context.out, rows);
    }
    return ToInt(ExitCode::Complete);
}

}  // namespace lut::cli
