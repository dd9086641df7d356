// The loop's waker: any thread, or a signal handler, makes its read handle readable, which wakes the
// readiness wait. On POSIX a self-pipe; on Windows, where WSAPoll watches sockets only, a pair of loopback
// UDP sockets connected to each other, so that no other sender can make it readable.
#pragma once

#include "link/NativeSocket.h"

namespace lut::cli {

class WakePipe {
  public:
    WakePipe();  // throws std::system_error when the pipe cannot be made
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // Async-signal-safe and callable from any thread. A full pipe is already readable, so a failed write
    // loses nothing.
    void Notify() const;

    // Empties the pipe, so that the next wait waits for the next Notify.
    void Clear() const;

    NativeSocket ReadHandle() const { return read_; }

  private:
    NativeSocket read_ = InvalidSocket;
    NativeSocket write_ = InvalidSocket;
};

}  // namespace lut::cli
