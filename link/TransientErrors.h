// Receive errors that say nothing about the socket itself, and the loop that gets past them. A datagram
// socket reports on a later receive what went wrong with an earlier send (Windows turns an ICMP "port
// unreachable" into "connection reset" on the next recvfrom), and a datagram longer than the buffer is
// discarded with an error; the socket still works, and the next receive may yield a datagram.
#pragma once

#include <cstddef>
#include <functional>
#include <system_error>

namespace lut {

// Connection reset or refused, network reset, host or network unreachable, message too long.
bool IsTransientReceiveError(std::error_code error);

// Most transient errors one receive gets past before it reports nothing waiting, so that a flood of
// them cannot hold the caller.
inline constexpr std::size_t MaxSkippedPerReceive = 64;

// Calls `receiveOnce` (empty: a datagram; operation_would_block: nothing waits; else why not) until it
// yields a datagram, nothing, or an error that is not transient, adding each transient error it gets
// past to `skipped`. Returns what the last call returned, operation_would_block after MaxSkippedPerReceive
// transient errors.
std::error_code SkipTransientErrors(const std::function<std::error_code()>& receiveOnce,
                                    std::size_t& skipped);

}  // namespace lut
