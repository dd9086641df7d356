#include "cli/SiteSearch.h"

#include <algorithm>
#include <optional>

#include "cli/Commands.h"
#include "link/LocalAddress.h"

namespace lut::cli {
namespace {

using Clock = EventLoop::Clock;

// How long one session's loop runs before the next one's, when several search at once; their answers
// wait in their sockets meanwhile.
constexpr std::chrono::milliseconds Slice{20};

// Every logger heard by every session, one per address and serial number, in the order of the lists.
std::vector<FoundLogger> Merge(const std::vector<Session*>& sessions) {
    std::vector<FoundLogger> found;
    for (Session* session : sessions) {
        const ToolCore& core = session->Core();
        const std::string via = session->Window().LocalAddressText();
        for (const LoggerRow& row : core.Loggers()) {
            for (const LoggerRow& answer : core.Answers().At(row.ip)) {
                const bool known = std::any_of(found.begin(), found.end(), [&answer](const FoundLogger& f) {
                    return f.logger.ip == answer.ip && f.logger.sn == answer.sn;
                });
                if (!known) {
                    found.push_back({answer, false, via});
                }
            }
        }
    }
    for (FoundLogger& f : found) {
        f.conflict = std::count_if(found.begin(), found.end(), [&f](const FoundLogger& other) {
                         return other.logger.ip == f.logger.ip;
                     }) > 1;
    }
    return found;
}

}  // namespace

bool SiteSearchResult::NothingSent() const {
    return !sweeps.empty() && std::all_of(sweeps.begin(), sweeps.end(),
                                          [](const SweepResult& sweep) { return sweep.Sent() == 0; });
}

bool ReportSearchFailures(const SiteSearchResult& result, const std::vector<Session*>& sessions,
                          std::ostream& err) {
    for (const SweepResult& sweep : result.sweeps) {
        if (sweep.failed > 0) {
            err << SweepFailure(sweep) << '\n';
        }
    }
    for (const Session* session : sessions) {
        session->ReportReceiveErrors(err);
    }
    return !result.NothingSent();
}

SiteSearchResult SearchInRounds(const std::vector<Session*>& sessions, std::chrono::milliseconds wait,
                                const std::vector<std::string>& addresses) {
    SiteSearchResult result;
    if (addresses.empty()) {
        for (Session* session : sessions) {
            result.sweeps.push_back(session->Core().btnsearchClick());
        }
        if (result.NothingSent()) {
            return result;
        }
    } else {
        sessions.front()->Core().SearchAddresses(addresses);
    }
    std::optional<Clock::time_point> end;  // `wait` after the last round
    for (;;) {
        Clock::time_point next = Clock::time_point::max();
        for (Session* session : sessions) {
            ToolCore& core = session->Core();
            core.Tick();
            if (const auto due = core.UntilTick()) {
                next = std::min(next, Clock::now() + *due);
            }
        }
        const bool searching = std::any_of(sessions.begin(), sessions.end(),
                                           [](Session* session) { return session->Core().Searching(); });
        if (!searching && !end) {
            end = Clock::now() + wait;
        }
        const Clock::time_point now = Clock::now();
        if (end && now >= *end) {
            break;
        }
        next = std::min(next, end.value_or(next));
        for (Session* session : sessions) {
            const Clock::time_point until =
                sessions.size() == 1 ? next : std::min(next, Clock::now() + Slice);
            if (session->Loop().Run([] { return false; }, {until, std::nullopt}) ==
                EventLoop::End::Interrupted) {
                result.interrupted = true;
                return result;
            }
        }
    }
    result.found = Merge(sessions);
    const auto& unsent = sessions.front()->Core().UnsentProbes();
    for (const std::string& address : addresses) {
        if (const auto failed = unsent.find(address); failed != unsent.end()) {
            result.unsent.emplace_back(address, failed->second);
        }
    }
    return result;
}

AdapterSessions::AdapterSessions(const CommonOptions& options, Pacer& pacer, std::ostream& err,
                                 NativeSocket interruptHandle) {
    for (const InterfaceAddress& adapter : SearchableAdapters()) {
        ToolOptions tool = options.tool;
        tool.bindAddress = adapter.address;
        auto session = std::make_unique<Session>(tool, adapter.address, pacer, interruptHandle);
        if (const auto failure = session->Start()) {
            err << adapter.interfaceName << " (" << adapter.address << ") is left out: " << *failure << '\n';
            continue;
        }
        sessions_.push_back(session.get());
        owned_.push_back(std::move(session));
    }
}

}  // namespace lut::cli
