// Worker B: sends the single blocks the logger asked for again, then asks for the result again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/TransferWorker.h"
#include "update/UpdateImage.h"

namespace lut {

class Tupthread1 final : public TransferWorker {
  public:
    struct Fields {
        std::vector<std::int32_t> Blocks;  // in sending order; may be empty
        std::string TargetIP;              // the logger, dotted decimal
        ImageText SendImage;               // the image the blocks are taken from
    };

    // Starts the thread, which waits for its start message at once.
    explicit Tupthread1(const WorkerContext& context);
    ~Tupthread1() override;

    // Set before the start message is posted; a run copies them when it begins.
    void SetFields(Fields fields) { fields_.Set(std::move(fields)); }
    Fields CurrentFields() const { return fields_.Get(); }

  private:
    void Run() override;

    RunFields<Fields> fields_;
};

}  // namespace lut
