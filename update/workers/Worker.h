// A worker thread with its own message queue, in the manner of a thread that sleeps in its message queue
// until something is posted to it. An owner holds one as its last member: the thread starts when the
// owner is whole and is stopped and joined before anything it uses goes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace lut {

class Worker final {
  public:
    // One run, begun by a start message.
    using Run = std::function<void()>;
    // Told why a run failed; the worker then waits for the next start.
    using Failed = std::function<void(const std::string& why)>;

    // Starts the thread, which waits for its first message at once.
    Worker(Run run, Failed failed);
    // Sets Terminated, wakes a waiting thread and joins it; the pauses of a run are woken by the pacer.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues a message for the thread; never lost, also when posted before the thread first waits.
    void Post(int message);

    // Set when the thread has been asked to stop, and when its body has ended for any reason: such a
    // worker serves no more messages and has to be replaced.
    bool Terminated() const { return terminated_.load(); }

    // True when no run is under way and no message waits to be taken (or the thread has ended).
    bool Idle() const;

    // Waits until Idle, at most the given time; false when the time ran out.
    bool WaitIdle(std::chrono::milliseconds limit) const;

  private:
    // Serves start messages until the thread is to end or a message other than the start arrives.
    void Execute();
    // Waits for the next message; empty when the thread is to end (it was asked to stop).
    std::optional<int> GetMessage();
    void Body();

    Run run_;
    Failed failed_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<int> queue_;
    bool busy_ = false;   // a message has been taken and the body has not come back for the next one
    bool ended_ = false;  // the body has returned
    std::atomic<bool> terminated_{false};
    std::thread thread_;  // last, so that it starts once the members above exist
};

}  // namespace lut
