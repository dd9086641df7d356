// Worker B: sends the single blocks the logger asked for again, then asks for the result again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/image/UpdateImage.h"
#include "update/workers/BlockSender.h"

namespace lut {

class Tupthread1 final {
  public:
    struct Fields {
        std::vector<std::int32_t> Blocks;  // in sending order; may be empty
        std::string TargetIP;              // the logger, dotted decimal
        ImageText SendImage;               // the image the blocks are taken from
    };

    // Starts the thread, which waits for its start message at once.
    explicit Tupthread1(const WorkerContext& context) : sender_(context) {}

    // GUI thread, before the start message is posted; `run` tags the run's reports.
    void SetFields(Fields fields, RunTag run = 0) {
        const auto count = static_cast<std::int32_t>(fields.Blocks.size());
        sender_.SetRun({fields.Blocks, {count, 0, true}, fields.TargetIP, fields.SendImage, run});
        fields_ = std::move(fields);
    }
    Fields CurrentFields() const { return fields_; }

    Worker& Thread() { return sender_.Thread(); }
    const Worker& Thread() const { return sender_.Thread(); }

  private:
    Fields fields_;
    BlockSender sender_;  // last: starts once the rest exists, stops before it goes
};

}  // namespace lut
