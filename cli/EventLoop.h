// The command line's main loop: it polls both endpoints, the workers' display queue and the interrupt
// (Ctrl-C), and runs everything on its own thread, as the window's event loop does.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "cli/DisplayQueue.h"
#include "link/NativeSocket.h"
#include "update/ToolCore.h"

namespace lut::cli {

class EventLoop {
  public:
    using Clock = std::chrono::steady_clock;
    using DisplayHandler = std::function<void(const DisplayEvent& event)>;

    enum class End {
        Done,         // the condition became true
        Deadline,     // the deadline passed first
        Idle,         // nothing happened (no datagram, no display change) for the idle limit
        Interrupted,  // Ctrl-C; stays so for every later run
    };

    struct Limits {
        std::optional<Clock::time_point> deadline;
        std::optional<Clock::duration> idle;
    };

    // interruptHandle: a handle that becomes readable on Ctrl-C, or InvalidSocket.
    EventLoop(ToolCore& core, DisplayQueue& display, DisplayHandler onDisplay, NativeSocket interruptHandle);

    // Handles datagrams and display changes until done() holds (asked after each of them), a limit is
    // reached, or an interrupt. Display changes queued before a datagram arrived are handled before it.
    End Run(const std::function<bool()>& done, Limits limits);

    // Hands every display change waiting now to the handler; true when there was any.
    bool HandleDisplay();

  private:
    ToolCore& core_;
    DisplayQueue& display_;
    DisplayHandler onDisplay_;
    NativeSocket interruptHandle_;
};

}  // namespace lut::cli
