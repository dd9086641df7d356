// The workers' reports on their way to the GUI thread: queued in the order they are made, and the front
// end woken to take them (the window posts itself a message, the command line's loop wakes from its wait).
#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "update/workers/WorkerDisplay.h"

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
    void Report(RunTag run, const DialogueEvent& event) override {
        std::lock_guard lock(mutex_);
        if (waker_ != nullptr) {
            events_.emplace_back(run, event);
            waker_->Wake();
        }
    }

    // Shut-down: after it returns, no report is queued and the front end is not woken any more; those
    // queued before can still be taken.
    void CutOff() {
        std::lock_guard lock(mutex_);
        waker_ = nullptr;
    }

    // GUI thread: every waiting event, oldest first. Once a run has begun, the end of an older run (worker A
    // wakes from its query pause after worker B has started) is dropped: it would reset the progress in the
    // middle of the newer run. Whatever else an older run reports still counts: its blocks went out, and its
    // queries and their outcome belong to the dialogue.
    std::vector<DialogueEvent> Take() {
        std::vector<std::pair<RunTag, DialogueEvent>> taken;
        {
            std::lock_guard lock(mutex_);
            taken.swap(events_);
        }
        std::vector<DialogueEvent> current;
        for (auto& [run, event] : taken) {
            if (std::holds_alternative<dialogue::RunBegins>(event) && run > newest_) {
                newest_ = run;
            }
            if (run >= newest_ || !std::holds_alternative<dialogue::RunEnds>(event)) {
                current.push_back(std::move(event));
            }
        }
        return current;
    }

  private:
    std::mutex mutex_;
    Waker* waker_;
    std::vector<std::pair<RunTag, DialogueEvent>> events_;
    RunTag newest_ = 0;  // GUI thread: the newest run that has begun
};

}  // namespace lut
