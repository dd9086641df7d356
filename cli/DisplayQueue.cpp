#include "cli/DisplayQueue.h"

namespace lut::cli {

void DisplayQueue::Push(DisplayEvent event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    wake_.Notify();
}

std::vector<DisplayEvent> DisplayQueue::Take() {
    std::vector<DisplayEvent> taken;
    std::lock_guard lock(mutex_);
    // Cleared under the lock: a Push after this both queues its event and makes the pipe readable again.
    wake_.Clear();
    taken.swap(events_);
    return taken;
}

}  // namespace lut::cli
