// Ctrl-C (and a polite kill) for the poll loop: while an InterruptSignal lives, SIGINT and SIGTERM make its
// handle readable instead of ending the process, so that the run can stop the workers and say what the
// logger holds.
#pragma once

#include <csignal>

#include "cli/WakePipe.h"

namespace lut::cli {

class InterruptSignal {
  public:
    InterruptSignal();  // one at a time
    ~InterruptSignal();
    InterruptSignal(const InterruptSignal&) = delete;
    InterruptSignal& operator=(const InterruptSignal&) = delete;

    int Handle() const { return pipe_.ReadHandle(); }

  private:
    WakePipe pipe_;
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace lut::cli
