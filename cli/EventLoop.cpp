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

EventLoop::EventLoop(ToolCore& core, DisplayQueue& display, DisplayHandler onDisplay,
                     NativeSocket interruptHandle)
    : core_(core), display_(display), onDisplay_(std::move(onDisplay)), interruptHandle_(interruptHandle) {}

bool EventLoop::HandleDisplay() {
    const auto events = display_.Take();
    for (const auto& event : events) {
        onDisplay_(event);
    }
    return !events.empty();
}

EventLoop::End EventLoop::Run(const std::function<bool()>& done, Limits limits) {
    auto lastActivity = Clock::now();
    for (;;) {
        if (HandleDisplay()) {
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

        enum { Interrupt, Display, Update, Discovery };
        std::array<WatchedHandle, 4> watched{{
            {interruptHandle_},
            {display_.WakeHandle()},
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
            HandleDisplay();
            core_.HandleSocketMessage(ReadEvent);
            lastActivity = Clock::now();
            if (done()) {
                return End::Done;
            }
        }
    }
}

}  // namespace lut::cli
