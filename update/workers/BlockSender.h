// A block-transfer worker: a thread that waits in its queue for the start message, then carries out the
// run it was given (TransferSteps). Worker A and worker B are this one implementation; they differ only in
// the block list and in where the progress of their run starts.
#pragma once

#include <mutex>
#include <utility>

#include "update/workers/TransferSteps.h"
#include "update/workers/Worker.h"

namespace lut {

class BlockSender final {
  public:
    // Starts the thread, which waits for its start message at once.
    explicit BlockSender(const WorkerContext& context);

    // Set on the GUI thread before the start message is posted; a run copies it when it begins, so that
    // nothing set later changes a run under way.
    void SetRun(BlockRun run) {
        std::lock_guard lock(mutex_);
        next_ = std::move(run);
    }

    Worker& Thread() { return thread_; }
    const Worker& Thread() const { return thread_; }

  private:
    void Run();

    WorkerContext context_;
    std::mutex mutex_;
    BlockRun next_;
    RunTag current_ = 0;  // the worker's thread only: the run under way, for the report of its failure
    Worker thread_;       // last: starts once the rest exists, stops before it goes
};

}  // namespace lut
