// What the two block-transfer workers share: what they send with, the loop that serves start messages,
// paced sending of one block, and the completion that follows the blocks (final pause, "EN", queries).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "link/Endpoint.h"
#include "update/Pacer.h"
#include "update/ProtocolState.h"
#include "update/Worker.h"
#include "update/WorkerDisplay.h"

namespace lut {

// Everything a worker uses besides its own fields; all of it outlives the worker.
struct WorkerContext {
    Endpoint& UpdateSocket;
    std::uint16_t updatePort;  // the logger's port for blocks and queries
    Pacer& pacer;
    WorkerDisplay& display;
    AtomicProtocolState& ProtocolState;
};

// A worker's fields: the GUI thread sets them before it posts a start; a run copies them when it begins,
// so that nothing set later changes a run under way.
template <typename Fields>
class RunFields {
  public:
    void Set(Fields fields) {
        std::lock_guard lock(mutex_);
        fields_ = std::move(fields);
    }
    Fields Get() const {
        std::lock_guard lock(mutex_);
        return fields_;
    }

  private:
    mutable std::mutex mutex_;
    Fields fields_;
};

class TransferWorker : public Worker {
  protected:
    explicit TransferWorker(const WorkerContext& context) : context_(context) {}

    // Serves start messages until the thread is to end or a message other than the start arrives.
    void Execute() final;

    // One run, begun by a start message.
    virtual void Run() = 0;

    // The deadlines of a run's blocks: N blocks take N pauses, however long each send takes, and two sends
    // are never closer than one pause.
    class BlockPacing {
      public:
        explicit BlockPacing(Pacer& pacer) : pacer_(pacer) {}
        void SendBegins() { sendBegan_ = pacer_.Now(); }
        // False when the pause was interrupted.
        bool PauseAfterSend();

      private:
        Pacer& pacer_;
        Pacer::TimePoint deadline_ = Pacer::TimePoint::min();
        Pacer::TimePoint sendBegan_;
    };

    // Sends block `index` of the image ("UD" + index + its characters), advances the progress and pauses;
    // false when the pause was interrupted and the run has to end.
    bool SendBlock(BlockPacing& pacing, std::string_view image, std::int32_t index,
                   const std::string& TargetIP);

    // After the blocks: the final pause, "EN", up to five queries while the state stays "EN", "Update Fail"
    // when they went unanswered, and the progress back to 0. Ends early when a pause is interrupted.
    void Complete(const std::string& TargetIP);

    WorkerContext context_;
};

}  // namespace lut
