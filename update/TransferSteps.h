// What the two block-transfer workers share: what they send with, their fields, paced sending of one
// block, and the completion that follows the blocks (final pause, "EN", queries).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "link/Endpoint.h"
#include "update/Pacer.h"
#include "update/ProtocolState.h"
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

// The steps of one run, against one logger, on the worker's own thread.
class TransferSteps {
  public:
    TransferSteps(const WorkerContext& context, std::string TargetIP, bool resend);

    // Sends block `index` of the image ("UD" + index + its characters), advances the progress and pauses;
    // false when the pause was interrupted and the run has to end.
    bool SendBlock(std::string_view image, std::int32_t index);

    // After the blocks: the final pause, "EN", up to five queries while the state stays "EN", "Update Fail"
    // when they went unanswered, and the progress back to 0. Ends early when a pause is interrupted.
    void Complete();

  private:
    const WorkerContext& context_;
    std::string TargetIP_;
    bool resend_;
    // The deadlines of the blocks: N blocks take N pauses, however long each send takes, and two sends
    // are never closer than one pause.
    Pacer::TimePoint deadline_ = Pacer::TimePoint::min();
};

}  // namespace lut
