// Worker A: after the logger has accepted the update, sends the image from the start block to its end,
// then asks for the result.
#pragma once

#include <cstdint>
#include <string>

#include "update/TransferSteps.h"
#include "update/UpdateImage.h"
#include "update/Worker.h"

namespace lut {

class Tupthread final {
  public:
    struct Fields {
        std::int32_t StartBlock = 0;  // the first block to send
        std::int32_t BlockCount = 0;  // blocks StartBlock to BlockCount - 1 are sent
        std::string TargetIP;         // the logger, dotted decimal
        ImageText SendImage;          // the image the block count was taken from
    };

    // Starts the thread, which waits for its start message at once.
    explicit Tupthread(const WorkerContext& context);

    // Set before the start message is posted; a run copies them when it begins.
    void SetFields(Fields fields) { fields_.Set(std::move(fields)); }
    Fields CurrentFields() const { return fields_.Get(); }

    Worker& Thread() { return thread_; }
    const Worker& Thread() const { return thread_; }

  private:
    void Run();

    WorkerContext context_;
    RunFields<Fields> fields_;
    Worker thread_;  // last: starts once the rest exists, stops before it goes
};

}  // namespace lut
