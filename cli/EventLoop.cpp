#include "cli/EventLoop.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <system_error>

namespace lut::cli {
namespace {

// Milliseconds until the moment, rounded up so that the poll never wakes a little early and spins.
int TimeoutUntil(EventLoop::Clock::time_point moment, EventLoop::Clock::time_point now) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(moment - now).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

}  // namespace

EventLoop::EventLoop(ToolCore& core, PipeWaker& waker, int interruptHandle)
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
        std::array<pollfd, 4> watched{{
            {interruptHandle_, POLLIN, 0},
            {waker_.Handle(), POLLIN, 0},
            {static_cast<int>(core_.Link().UpdateSocket.Handle()), POLLIN, 0},
            {static_cast<int>(core_.Link().DiscoverySocket.Handle()), POLLIN, 0},
        }};
        if (poll(watched.data(), watched.size(), wakeAt ? TimeoutUntil(*wakeAt, now) : -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (watched[Interrupt].revents != 0) {
            return End::Interrupted;
        }
        for (const int socket : {Update, Discovery}) {
            if ((watched[socket].revents & (POLLIN | POLLERR)) == 0) {
                continue;
            }
            HandleReports();
            core_.HandleSocketMessage(ReadEvent);
            lastActivity = Clock::now();
            if (done()) {
                return End::Done;
            }
        }
    }
}

}  // namespace lut::cli
