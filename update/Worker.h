// A worker thread with its own message queue, in the manner of a thread that sleeps in its message queue
// until something is posted to it: Post puts a message in, GetMessage waits for the next one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace lut {

class Worker {
  public:
    virtual ~Worker();
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

  protected:
    // The queue exists from here on; the thread does not run until Start.
    Worker() = default;

    // Starts the thread on Execute. A derived class calls it last in its constructor, once the object is
    // whole, and must be final.
    void Start();

    // Sets Terminated, wakes a waiting GetMessage and joins the thread. A derived class calls it first in
    // its destructor, while its own part still exists; the pauses of a run are woken by the pacer.
    void Stop();

    // Waits for the next message; empty when the thread is to end (it was asked to stop).
    std::optional<int> GetMessage();

    // The thread body.
    virtual void Execute() = 0;

  private:
    void Body();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<int> queue_;
    bool busy_ = false;   // a message has been taken and the body has not come back for the next one
    bool ended_ = false;  // the body has returned
    std::atomic<bool> terminated_{false};
    std::thread thread_;
};

}  // namespace lut
