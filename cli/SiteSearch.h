// The command line's search: the core's search in rounds (the sweep, or the probes of a list of
// addresses), from one session or from one for each adapter, the answers collected until the wait after
// the last round; merged by address, address conflicts marked.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/FoundLoggers.h"
#include "cli/Session.h"
#include "update/search/SweepResult.h"
#include "update/workers/Pacer.h"

namespace lut::cli {

struct RunContext;
struct CommonOptions;

struct SiteSearchResult {
    std::vector<FoundLogger> found;
    bool interrupted = false;
    // The listed addresses whose every probe failed, with the last reason.
    std::vector<std::pair<std::string, std::error_code>> unsent;
    // Each session's first sweep; when none of them could send a probe, the search ends at once.
    std::vector<SweepResult> sweeps;

    bool NothingSent() const;
};

// Says which sweeps could not send some or all of their probes, and the receive errors each session
// skipped; false when no sweep sent a probe at all.
bool ReportSearchFailures(const SiteSearchResult& result, const std::vector<Session*>& sessions,
                          std::ostream& err);

// Starts each session's search in rounds (as many as its tool options say) and collects answers until
// `wait` after the last round. Addresses empty: each session sweeps the /24 of its local address; else the
// first session probes each address. Each logger found names the local address of the session that heard
// it (via).
SiteSearchResult SearchInRounds(const std::vector<Session*>& sessions, std::chrono::milliseconds wait,
                                const std::vector<std::string>& addresses = {});

inline constexpr std::string_view NoAdapterText =
    "No network adapter is up, or none could open the endpoints: nothing to search.";

// One started session for each up, non-loopback IPv4 adapter, bound to its address, with the tool's
// ports. An adapter whose endpoints do not open is named on err and left out.
class AdapterSessions {
  public:
    AdapterSessions(const CommonOptions& options, Pacer& pacer, std::ostream& err,
                    NativeSocket interruptHandle);

    const std::vector<Session*>& Sessions() const { return sessions_; }

  private:
    std::vector<std::unique_ptr<Session>> owned_;
    std::vector<Session*> sessions_;
};

}  // namespace lut::cli
