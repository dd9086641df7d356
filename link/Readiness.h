// The one wait of every event loop that has no window: until any of several handles is readable, or a
// timeout.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <system_error>

#include "link/NativeSocket.h"

namespace lut {

// One handle to watch: an endpoint's socket, or a waker (on POSIX any descriptor, such as a pipe's read
// end; on Windows a socket).
struct WatchedHandle {
    NativeSocket handle = InvalidSocket;  // InvalidSocket: not watched, never ready
    bool ready = false;                   // set by the wait: readable, or an error or hang-up to collect
};

// Waits until at least one handle is ready or the timeout has passed (none: no limit; it is rounded down
// to whole milliseconds), then sets every `ready`. A signal that interrupts the wait ends it with nothing
// ready and no error, so that the caller looks at its own state again. Only a failure of the wait itself
// is returned.
std::error_code WaitUntilReadable(std::span<WatchedHandle> handles,
                                  std::optional<std::chrono::milliseconds> timeout);

}  // namespace lut
