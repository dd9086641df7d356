// A recording stand-in for the progress bar and status line that the workers drive from their threads.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "update/WorkerDisplay.h"

namespace lut::test {

class RecordingDisplay final : public WorkerDisplay {
  public:
    // The progress bar as the technician sees it, and every status text in the order it was shown.
    struct Seen {
        int maximum = 100;
        int position = 0;
        std::vector<int> positions;  // each position the bar took, in order
        std::vector<std::string> statuses;
    };

    void SetProgressMax(int maximum) override {
        std::lock_guard lock(mutex_);
        seen_.maximum = maximum;
    }
    void SetProgressPosition(int position) override {
        std::lock_guard lock(mutex_);
        Move(position);
    }
    void AdvanceProgress() override {
        std::lock_guard lock(mutex_);
        Move(seen_.position + 1);
    }
    void SetStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        seen_.statuses.push_back(text);
    }

    Seen Now() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    void Move(int position) {
        seen_.position = position;
        seen_.positions.push_back(position);
    }

    mutable std::mutex mutex_;
    Seen seen_;
};

}  // namespace lut::test
