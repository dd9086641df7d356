#include "update/Tupthread.h"

namespace lut {

Tupthread::Tupthread(const WorkerContext& context) : TransferWorker(context) {
    Start();
}

Tupthread::~Tupthread() {
    Stop();
}

void Tupthread::Run() {
    const Fields run = fields_.Get();
    const std::string_view image = run.SendImage ? std::string_view(*run.SendImage) : std::string_view();
    context_.display.SetProgressMax(run.BlockCount);
    context_.display.SetProgressPosition(run.StartBlock);
    BlockPacing pacing(context_.pacer);
    for (std::int32_t index = run.StartBlock; index < run.BlockCount; ++index) {
        if (!SendBlock(pacing, image, index, run.TargetIP)) {
            return;
        }
    }
    Complete(run.TargetIP);
}

}  // namespace lut
