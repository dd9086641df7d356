#include "update/Tupthread.h"

namespace lut {

Tupthread::Tupthread(const WorkerContext& context)
    : context_(context),
      thread_([this] { Run(); },
              [this](const std::string& why) { context_.display.Report(dialogue::RunFailed{why}); }) {}

void Tupthread::Run() {
    const Fields run = fields_.Get();
    const std::string_view image = run.SendImage ? std::string_view(*run.SendImage) : std::string_view();
    context_.display.Report(dialogue::RunBegins{run.BlockCount, run.StartBlock, false});
    TransferSteps steps(context_, run.TargetIP, false);
    for (std::int32_t index = run.StartBlock; index < run.BlockCount; ++index) {
        if (!steps.SendBlock(image, index)) {
            return;
        }
    }
    steps.Complete();
}

}  // namespace lut
