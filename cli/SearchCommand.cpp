// search: the sweep of the window's Search button, sent in rounds, the answers collected until --wait
// seconds after the last round, the list printed as a table or as JSON.
#include <memory>
#include <optional>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/FoundLoggers.h"
#include "cli/Output.h"
#include "cli/SiteSearch.h"
#include "link/LocalAddress.h"
#include "update/search/LoggerList.h"

namespace lut::cli {

int RunSearch(const SearchOptions& options, const RunContext& context) {
    const CommonOptions& common = options.common;
    std::optional<AdapterSessions> adapters;
    std::unique_ptr<Session> own;
    std::vector<Session*> sessions;
    if (common.allAdapters) {
        sessions = adapters.emplace(common, context.pacer, context.err, context.interruptHandle).Sessions();
        if (sessions.empty()) {
            context.err << NoAdapterText << '\n';
            return ToInt(ExitCode::EndpointFailed);
        }
    } else {
        std::string localAddress;
        try {
            localAddress = common.localAddress ? *common.localAddress : LocalAddressText();
        } catch (const std::runtime_error& error) {
            context.err << "The local address could not be found: " << error.what()
                        << "\nGive the address whose subnet to search with --local-address.\n";
            return ToInt(ExitCode::EndpointFailed);
        }
        own = std::make_unique<Session>(common.tool, localAddress, context.pacer, context.interruptHandle);
        if (const auto failure = own->Start()) {
            context.err << *failure << '\n';
            return ToInt(ExitCode::EndpointFailed);
        }
        sessions.push_back(own.get());
    }

    for (Session* session : sessions) {
        if (!common.json) {
            const std::string prefix = SubnetPrefix(session->Window().LocalAddressText());
            context.err << "Searching " << prefix << "1 to " << prefix << "254 for "
                        << common.wait.count() / 1000.0 << " s ...\n";
        }
    }
    const SiteSearchResult search = SearchInRounds(sessions, common.wait);
    if (search.interrupted) {
        context.err << "Search interrupted; no logger was changed.\n";
        return ToInt(ExitCode::Interrupted);
    }
    if (!ReportSearchFailures(search, sessions, context.err)) {
        return ToInt(ExitCode::EndpointFailed);
    }

    if (common.json) {
        context.out << ToJsonText(FoundJson(search.found, common.allAdapters)) << '\n';
    } else {
        PrintFoundTable(context.out, search.found, common.allAdapters);
    }
    WarnConflicts(context.err, search.found);
    return ToInt(ExitCode::Complete);
}

}  // namespace lut::cli
