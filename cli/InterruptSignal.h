// Ctrl-C (and a polite kill, or Ctrl-Break on Windows) for the event loop: while an InterruptSignal lives,
// they make its handle readable instead of ending the process, so that the run can stop the workers and
// say what the logger holds.
#pragma once

#include "cli/WakePipe.h"
#include "link/NativeSocket.h"

namespace lut::cli {

class InterruptSignal {
  public:
    InterruptSignal();  // one at a time
    ~InterruptSignal();
    InterruptSignal(const InterruptSignal&) = delete;
    InterruptSignal& operator=(const InterruptSignal&) = delete;

    NativeSocket Handle() const { return pipe_.ReadHandle(); }

  private:
    WakePipe pipe_;
};

}  // namespace lut::cli
