// Where the workers report their events from their own threads. An implementation keeps each worker's
// order and brings the events to the GUI thread (WorkerReports), or records them (tests).
#pragma once

#include <cstdint>

#include "update/dialogue/DialogueEvents.h"

namespace lut {

// The run a report belongs to: a dialogue numbers the runs it starts, 1, 2, ..., so that the reports of a
// run that a newer one has overtaken can be told apart and dropped.
using RunTag = std::uint64_t;

class WorkerDisplay {
  public:
    virtual ~WorkerDisplay() = default;
    // Any thread.
    virtual void Report(RunTag run, const DialogueEvent& event) = 0;
};

}  // namespace lut
