#include "update/workers/BlockSender.h"

namespace lut {

BlockSender::BlockSender(const WorkerContext& context)
    : context_(context),
      thread_(
          [this] { Run(); },
          [this](const std::string& why) { context_.display.Report(current_, dialogue::RunFailed{why}); }) {}

void BlockSender::Run() {
    BlockRun run;
    {
        std::lock_guard lock(mutex_);
        run = next_;
    }
    current_ = run.run;
    TransferSteps(context_, run).Run();
}

}  // namespace lut
