// Waiting for datagrams on loopback endpoints in tests, bounded in time.
#pragma once

#include "link/Endpoint.h"
#include "link/Readiness.h"

namespace lut::test {

// True once a datagram waits on the endpoint; false after two seconds without one.
inline bool WaitReadable(const Endpoint& endpoint, int timeoutMs = 2000) {
    WatchedHandle watched{endpoint.Handle()};
    return !WaitUntilReadable({&watched, 1}, std::chrono::milliseconds(timeoutMs)) && watched.ready;
}

inline BindRecord Loopback(std::uint16_t port = 0) {
    return {"127.0.0.1", port};
}

}  // namespace lut::test
