#include "update/workers/Worker.h"

#include <exception>

#include "link/uPubpro.h"

namespace lut {

Worker::Worker(Run run, Failed failed)
    : run_(std::move(run)), failed_(std::move(failed)), thread_(&Worker::Body, this) {}

Worker::~Worker() {
    {
        std::lock_guard lock(mutex_);
        terminated_.store(true);
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Worker::Post(int message) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(message);
    }
    changed_.notify_all();
}

bool Worker::Idle() const {
    std::lock_guard lock(mutex_);
    return !busy_ && (queue_.empty() || ended_);
}

bool Worker::WaitIdle(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return !busy_ && (queue_.empty() || ended_); });
}

void Worker::Execute() {
    while (!Terminated()) {
        const std::optional<int> message = GetMessage();
        if (!message || *message != WorkerStartMessage) {
            return;
        }
        // A run that fails ends where it failed and says why; the worker serves the next start.
        try {
            run_();
        } catch (const std::exception& failure) {
            failed_(failure.what());
        } catch (...) {
            failed_("an unexpected error");
        }
    }
}

std::optional<int> Worker::GetMessage() {
    std::unique_lock lock(mutex_);
    busy_ = false;
    changed_.notify_all();
    changed_.wait(lock, [this] { return terminated_.load() || !queue_.empty(); });
    if (terminated_.load()) {
        return std::nullopt;
    }
    const int message = queue_.front();
    queue_.pop_front();
    busy_ = true;
    return message;
}

void Worker::Body() {
    Execute();
    {
        std::lock_guard lock(mutex_);
        terminated_.store(true);
        busy_ = false;
        ended_ = true;
    }
    changed_.notify_all();
}

}  // namespace lut
