// The four things a worker changes from its own thread: progress maximum, position, advance by one, and
// the status text. Implementations keep each caller's order (the window queues them to the GUI thread).
#pragma once

#include <mutex>
#include <string>

namespace lut {

class WorkerDisplay {
public:
    virtual ~WorkerDisplay() = default;
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void AdvanceProgress() = 0;
    virtual void SetStatus(const std::string& text) = 0;
};

// Stands between the workers and the real display, so that shut-down can cut the workers off: after
// CutOff returns, no call reaches the display any more.
class DisplayGate final : public WorkerDisplay {
public:
    explicit DisplayGate(WorkerDisplay* target) : target_(target) {}

    void CutOff() {
        std::lock_guard lock(mutex_);
        target_ = nullptr;
    }

    void SetProgressMax(int maximum) override { Forward(&WorkerDisplay::SetProgressMax, maximum); }
    void SetProgressPosition(int position) override { Forward(&WorkerDisplay::SetProgressPosition, position); }
    void AdvanceProgress() override { Forward(&WorkerDisplay::AdvanceProgress); }
    void SetStatus(const std::string& text) override { Forward(&WorkerDisplay::SetStatus, text); }

private:
    template <typename... Args, typename... Values>
    void Forward(void (WorkerDisplay::*call)(Args...), Values&&... values) {
        std::lock_guard lock(mutex_);
        if (target_ != nullptr) {
            (target_->*call)(std::forward<Values>(values)...);
        }
    }

    std::mutex mutex_;
    WorkerDisplay* target_;
};

}  // namespace lut
