#include "link/Readiness.h"

#include <algorithm>
#include <climits>
#include <thread>
#include <vector>

#include "link/SocketApi.h"

#ifndef _WIN32
#include <poll.h>

#include <cerrno>
#endif

namespace lut {

namespace {

int TimeoutMs(std::optional<std::chrono::milliseconds> timeout) {
    if (!timeout) {
        return -1;
    }
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout->count(), 0, INT_MAX));
}

}  // namespace

#ifdef _WIN32

std::error_code WaitUntilReadable(std::span<WatchedHandle> handles,
                                  std::optional<std::chrono::milliseconds> timeout) {
    // WSAPoll refuses entries that are no socket, so unwatched ones are left out and mapped back.
    std::vector<WSAPOLLFD> watched;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        handles[i].ready = false;
        if (handles[i].handle != InvalidSocket) {
            watched.push_back({handles[i].handle, POLLRDNORM, 0});
            positions.push_back(i);
        }
    }
    if (watched.empty()) {
        // WSAPoll refuses an empty set; waiting on nothing is a plain pause, and without a limit, a hang.
        if (!timeout) {
            return std::make_error_code(std::errc::invalid_argument);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(TimeoutMs(timeout)));
        return {};
    }
    if (WSAPoll(watched.data(), static_cast<ULONG>(watched.size()), TimeoutMs(timeout)) == SOCKET_ERROR) {
        return LastSocketError();
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
        handles[positions[i]].ready = watched[i].revents != 0;
    }
    return {};
}

#else

std::error_code WaitUntilReadable(std::span<WatchedHandle> handles,
                                  std::optional<std::chrono::milliseconds> timeout) {
    // poll skips negative descriptors, so an unwatched entry needs no special case.
    std::vector<pollfd> watched;
    watched.reserve(handles.size());
    for (WatchedHandle& entry : handles) {
        entry.ready = false;
        watched.push_back({entry.handle, POLLIN, 0});
    }
    if (poll(watched.data(), watched.size(), TimeoutMs(timeout)) < 0) {
        return errno == EINTR ? std::error_code{} : LastSocketError();
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
        handles[i].ready = watched[i].revents != 0;
    }
    return {};
}

#endif

}  // namespace lut
