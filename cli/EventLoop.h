// The command line's main loop: it waits on both endpoints, the workers' wake pipe and the interrupt
// (Ctrl-C), and runs everything on its own thread, as the window's event loop does.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "cli/WakePipe.h"
#include "link/NativeSocket.h"
#include "update/ToolCore.h"
#include "update/workers/WorkerReports.h"

namespace lut::cli {

// Wakes the loop when a worker has reported.
class PipeWaker final : public Waker {
  public:
    void Wake() override { pipe_.Notify(); }
    NativeSocket Handle() const { return pipe_.ReadHandle(); }
    void Clear() const { pipe_.Clear(); }

  private:
    WakePipe pipe_;
};

class EventLoop {
  public:
    using Clock = std::chrono::steady_clock;

    enum class End {
        Done,         // the condition became true
        Deadline,     // the deadline passed first
        Idle,         // nothing happened (no datagram, no worker report) for the idle limit
        Interrupted,  // Ctrl-C; stays so for every later run
    };

    struct Limits {
        std::optional<Clock::time_point> deadline;
        std::optional<Clock::duration> idle;
    };

    // interruptHandle: a handle that becomes readable on Ctrl-C, or InvalidSocket.
    EventLoop(ToolCore& core, PipeWaker& waker, NativeSocket interruptHandle);

    // Handles datagrams and worker reports until done() holds (asked after each of them), a limit is
    // reached, or an interrupt. Reports made before a datagram arrived are handled before it. Throws
    // std::system_error when an endpoint can no longer receive (the network went down).
    End Run(const std::function<bool()>& done, Limits limits);

    // Hands every worker report waiting now to the core; true when there was any.
    bool HandleReports();

  private:
    ToolCore& core_;
    PipeWaker& waker_;
    NativeSocket interruptHandle_;
};

}  // namespace lut::cli
