// What the two block-transfer workers share: what they send with, the run they are given, and the steps
// of one run: each block of its list, paced, then the completion (final pause, "EN", queries).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/Endpoint.h"
#include "update/dialogue/DialogueEvents.h"
#include "update/dialogue/ProtocolState.h"
#include "update/image/UpdateImage.h"
#include "update/workers/Pacer.h"
#include "update/workers/StopSignal.h"
#include "update/workers/WorkerDisplay.h"

namespace lut {

// Everything a worker uses besides its run; all of it outlives the worker. The stop signal is its
// dialogue's: it cuts the pauses of that dialogue's workers short, and no one else's.
struct WorkerContext {
    Endpoint& UpdateSocket;
    std::uint16_t updatePort;  // the logger's port for blocks and queries
    Pacer& pacer;
    WorkerDisplay& display;
    AtomicProtocolState& ProtocolState;
    const StopSignal& stop;
};

// One run of a worker: the blocks it sends, in order, and where its progress starts. Worker A sends the
// image from its start block to the end; worker B the blocks the logger asked for again.
struct BlockRun {
    std::vector<std::int32_t> blocks;
    dialogue::RunBegins begins;  // the first report: the progress's maximum and position
    std::string TargetIP;        // the logger, dotted decimal
    ImageText SendImage;         // the image the blocks are taken from
    RunTag run = 0;              // tags every report of the run
};

// The steps of one run, against one logger, on the worker's own thread.
class TransferSteps {
  public:
    TransferSteps(const WorkerContext& context, const BlockRun& run);

    // The first report, every block of the list, then the completion; ends early when a pause is cut short.
    void Run();

  private:
    // Sends block `index` of the image ("UD" + index + its characters), advances the progress and pauses;
    // false when the pause was cut short and the run has to end.
    bool SendBlock(std::string_view image, std::int32_t index);

    // After the blocks: the final pause, "EN", up to five queries while the state stays "EN", "Update Fail"
    // when they went unanswered, and the progress back to 0.
    void Complete();

    void Report(const DialogueEvent& event);

    const WorkerContext& context_;
    const BlockRun& run_;
    // The deadlines of the blocks: N blocks take N pauses, however long each send takes, and two sends
    // are never closer than one pause.
    Pacer::TimePoint deadline_ = Pacer::TimePoint::min();
};

}  // namespace lut
