// Where the workers report their events from their own threads. An implementation keeps each worker's
// order and brings the events to the GUI thread (WorkerReports), or records them (tests).
#pragma once

#include "update/DialogueEvents.h"

namespace lut {

class WorkerDisplay {
  public:
    virtual ~WorkerDisplay() = default;
    // Any thread.
    virtual void Report(const DialogueEvent& event) = 0;
};

}  // namespace lut
