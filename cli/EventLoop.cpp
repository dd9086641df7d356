#include "cli/EventLoop.h"

#include <array>
#include <system_error>

#include "link/Readiness.h"

namespace lut::cli {
namespace {

// Milliseconds until the moment, rounded up so that the wait never ends a little early and spins.
std::chrono::milliseconds TimeoutUntil(EventLoop::Clock::time_point moment,
                                       EventLoop::Clock::time_point now) {
    return std::chrono::ceil<std::chrono::milliseconds>(moment - now);
}

}  // namespace

EventLoop::EventLoop(ToolCore& core, PipeWaker& waker, NativeSocket interruptHandle)
    : core_(core), waker_(waker), interruptHandle_(interruptHandle) {}

bool EventLoop::HandleReports() {
    // Cleared first: a report made after this both queues its event and makes the pipe readable again.
    waker_.Clear();
    return core_.HandleWorkerReports();
}

EventLoop::End EventLoop::Run(const std::function<bool()>& done, Limits limits) {
    auto lastActivity = Clock::now();
    for (;;) {
        if (HandleReports()) {
            lastActivity = Clock::now();
        }
        if (done()) {
            return End::Done;
        }

        std::optional<Clock::time_point> wakeAt = limits.deadline;
        End onTimeout = End::Deadline;
        if (limits.idle && (!wakeAt || lastActivity + *limits.idle < *wakeAt)) {
            wakeAt = lastActivity + *limits.idle;
            onTimeout = End::Idle;
        }
        const auto now = Clock::now();
        if (wakeAt && *wakeAt <= now) {
            return onTimeout;
        }

        enum { Interrupt, Reports, Update, Discovery };
        std::array<WatchedHandle, 4> watched{{
            {interruptHandle_},
            {waker_.Handle()},
            {core_.Link().UpdateSocket.Handle()},
            {core_.Link().DiscoverySocket.Handle()},
        }};
        const auto timeout = wakeAt ? std::optional(TimeoutUntil(*wakeAt, now)) : std::nullopt;
        if (const std::error_code error = WaitUntilReadable(watched, timeout)) {
            throw std::system_error(error, "waiting for datagrams");
        }
        if (watched[Interrupt].ready) {
            return End::Interrupted;
        }
        for (const int socket : {Update, Discovery}) {
            if (!watched[socket].ready) {
                continue;
            }
            HandleReports();
            core_.HandleSocketMessage(ReadEvent);
            if (const std::error_code failure = core_.ReceiveFailure()) {
                throw std::system_error(failure, "receiving datagrams");
            }
            lastActivity = Clock::now();
            if (done()) {
                return End::Done;
            }
        }
    }
}

}  // namespace lut::cli
