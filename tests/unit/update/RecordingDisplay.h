// A recording stand-in for the progress bar and status line that the workers drive from their threads:
// every report is kept, and shown at once on an in-memory window as the window would show it.
#pragma once

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "update/MemoryWindow.h"
#include "update/dialogue/DialoguePresenter.h"
#include "update/workers/WorkerDisplay.h"

namespace lut::test {

class RecordingDisplay final : public WorkerDisplay {
  public:
    // The progress bar as the technician sees it, and every status text in the order it was shown.
    struct Seen {
        int maximum = 100;
        int position = 0;
        std::vector<int> positions;  // each position the bar took, in order
        std::vector<std::string> statuses;
        std::vector<DialogueEvent> events;
    };

    void Report(RunTag /*run*/, const DialogueEvent& event) override {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        const auto* block = std::get_if<dialogue::BlockSent>(&event);
        if (block != nullptr && block->index == failAtBlock) {
            throw std::runtime_error("the display went away");
        }
        Present(event, window_);
    }

    // Fails the report of this block, as a run that meets an error there; -1 for none.
    std::atomic<int> failAtBlock{-1};

    Seen Now() const {
        std::lock_guard lock(mutex_);
        return {window_.progressMax, window_.progressPosition, window_.positions,
                window_.Texts(MemoryWindow::Kind::Status), events_};
    }

  private:
    mutable std::mutex mutex_;
    MemoryWindow window_;
    std::vector<DialogueEvent> events_;
};

}  // namespace lut::test
