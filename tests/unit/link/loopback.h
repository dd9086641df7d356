// Waiting for datagrams on loopback endpoints in tests, bounded in time.
#pragma once

#include <poll.h>

#include "link/Endpoint.h"

namespace lut::test {

// True once a datagram waits on the endpoint; false after two seconds without one.
inline bool WaitReadable(const Endpoint& endpoint, int timeoutMs = 2000) {
    pollfd watched{endpoint.Handle(), POLLIN, 0};
    return poll(&watched, 1, timeoutMs) == 1 && (watched.revents & POLLIN) != 0;
}

inline BindRecord Loopback(std::uint16_t port = 0) {
    return {"127.0.0.1", port};
}

}  // namespace lut::test
