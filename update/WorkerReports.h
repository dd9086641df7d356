// The workers' reports on their way to the GUI thread: queued in the order they are made, and the front
// end woken to take them (the window posts itself a message, the command line's loop wakes from its wait).
#pragma once

#include <mutex>
#include <vector>

#include "update/WorkerDisplay.h"

namespace lut {

// Asks the front end to call ToolCore::HandleWorkerReports on its GUI thread soon. Any thread.
class Waker {
  public:
    virtual ~Waker() = default;
    virtual void Wake() = 0;
};

class WorkerReports final : public WorkerDisplay {
  public:
    explicit WorkerReports(Waker& waker) : waker_(&waker) {}

    // Any thread: queues the event and wakes the front end, unless cut off.
    void Report(const DialogueEvent& event) override {
        std::lock_guard lock(mutex_);
        if (waker_ != nullptr) {
            events_.push_back(event);
            waker_->Wake();
        }
    }

    // Shut-down: after it returns, no report is queued and the front end is not woken any more; those
    // queued before can still be taken.
    void CutOff() {
        std::lock_guard lock(mutex_);
        waker_ = nullptr;
    }

    // GUI thread: every waiting event, oldest first.
    std::vector<DialogueEvent> Take() {
        std::vector<DialogueEvent> taken;
        std::lock_guard lock(mutex_);
        taken.swap(events_);
        return taken;
    }

  private:
    std::mutex mutex_;
    Waker* waker_;
    std::vector<DialogueEvent> events_;
};

}  // namespace lut
