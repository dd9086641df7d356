// The workers' display for the command line: their calls are queued in the order they are made and the
// poll loop is woken, so that the progress is drawn on the loop's thread only.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "cli/WakePipe.h"
#include "update/WorkerDisplay.h"

namespace lut::cli {

struct DisplayEvent {
    enum class Kind { ProgressMax, ProgressPosition, Advance, Status };
    Kind kind;
    int value = 0;       // ProgressMax, ProgressPosition
    std::string text{};  // Status
};

class DisplayQueue final : public WorkerDisplay {
  public:
    // Any thread.
    void SetProgressMax(int maximum) override { Push({DisplayEvent::Kind::ProgressMax, maximum, {}}); }
    void SetProgressPosition(int position) override {
        Push({DisplayEvent::Kind::ProgressPosition, position, {}});
    }
    void AdvanceProgress() override { Push({DisplayEvent::Kind::Advance, 0, {}}); }
    void SetStatus(const std::string& text) override { Push({DisplayEvent::Kind::Status, 0, text}); }

    // The loop's thread: readable while events wait.
    int WakeHandle() const { return wake_.ReadHandle(); }

    // The loop's thread: every waiting event, oldest first.
    std::vector<DisplayEvent> Take();

  private:
    void Push(DisplayEvent event);

    WakePipe wake_;
    std::mutex mutex_;
    std::vector<DisplayEvent> events_;
};

}  // namespace lut::cli
