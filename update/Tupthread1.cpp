#include "update/Tupthread1.h"

namespace lut {

Tupthread1::Tupthread1(const WorkerContext& context) : TransferWorker(context) {
    Start();
}

Tupthread1::~Tupthread1() {
    Stop();
}

void Tupthread1::Run() {
    const Fields run = fields_.Get();
    const std::string_view image = run.SendImage ? std::string_view(*run.SendImage) : std::string_view();
    context_.display.SetProgressMax(static_cast<int>(run.Blocks.size()));
    context_.display.SetProgressPosition(0);
    BlockPacing pacing(context_.pacer);
    for (const std::int32_t index : run.Blocks) {
        if (!SendBlock(pacing, image, index, run.TargetIP)) {
            return;
        }
    }
    Complete(run.TargetIP);
}

}  // namespace lut
