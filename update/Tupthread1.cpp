#include "update/Tupthread1.h"

namespace lut {

Tupthread1::Tupthread1(const WorkerContext& context)
    : context_(context),
      thread_([this] { Run(); },
              [this](const std::string& why) { context_.display.Report(dialogue::RunFailed{why}); }) {}

void Tupthread1::Run() {
    const Fields run = fields_.Get();
    const std::string_view image = run.SendImage ? std::string_view(*run.SendImage) : std::string_view();
    context_.display.Report(dialogue::RunBegins{static_cast<std::int32_t>(run.Blocks.size()), 0, true});
    TransferSteps steps(context_, run.TargetIP, true);
    for (const std::int32_t index : run.Blocks) {
        if (!steps.SendBlock(image, index)) {
            return;
        }
    }
    steps.Complete();
}

}  // namespace lut
