// Worker A: after the logger has accepted the update, sends the image from the start block to its end,
// then asks for the result.
#pragma once

#include <cstdint>
#include <string>

#include "update/image/UpdateImage.h"
#include "update/workers/BlockSender.h"

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
    explicit Tupthread(const WorkerContext& context) : sender_(context) {}

    // GUI thread, before the start message is posted; `run` tags the run's reports.
    void SetFields(Fields fields, RunTag run = 0);
    Fields CurrentFields() const { return fields_; }

    Worker& Thread() { return sender_.Thread(); }
    const Worker& Thread() const { return sender_.Thread(); }

  private:
    Fields fields_;
    BlockSender sender_;  // last: starts once the rest exists, stops before it goes
};

}  // namespace lut
