// Worker B: sends the single blocks the logger asked for again, then asks for the result again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/TransferSteps.h"
#include "update/UpdateImage.h"
#include "update/Worker.h"

namespace lut {

class Tupthread1 final {
  public:
    struct Fields {
        std::vector<std::int32_t> Blocks;  // in sending order; may be empty
        std::string TargetIP;              // the logger, dotted decimal
        ImageText SendImage;               // the image the blocks are taken from
    };

    // Starts the thread, which waits for its start message at once.
    explicit Tupthread1(const WorkerContext& context);

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
