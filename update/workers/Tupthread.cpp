#include "update/workers/Tupthread.h"

#include <numeric>

namespace lut {

void Tupthread::SetFields(Fields fields, RunTag run) {
    std::vector<std::int32_t> blocks;
    if (fields.StartBlock < fields.BlockCount) {
        blocks.resize(static_cast<std::size_t>(fields.BlockCount - fields.StartBlock));
        std::iota(blocks.begin(), blocks.end(), fields.StartBlock);
    }
    sender_.SetRun({std::move(blocks),
                    {fields.BlockCount, fields.StartBlock, false},
                    fields.TargetIP,
                    fields.SendImage,
                    run});
    fields_ = std::move(fields);
}

}  // namespace lut
