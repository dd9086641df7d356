#include "update/TransferWorker.h"

#include <algorithm>
#include <exception>

#include "link/uPubpro.h"
#include "update/Messages.h"
#include "update/UpdateImage.h"

namespace lut {

namespace {
constexpr int MaxQueries = 5;
constexpr int UnansweredQueries = 3;  // more unanswered queries than this, and the update has failed
}  // namespace

void TransferWorker::Execute() {
    while (!Terminated()) {
        const std::optional<int> message = GetMessage();
        if (!message || *message != WorkerStartMessage) {
            return;
        }
        try {
            Run();
        } catch (const std::exception&) {
            // A run that fails ends where it failed; the worker serves the next start.
        }
    }
}

bool TransferWorker::BlockPacing::PauseAfterSend() {
    deadline_ = std::max(deadline_, sendBegan_) + BlockDelay;
    return pacer_.SleepUntil(deadline_);
}

bool TransferWorker::SendBlock(BlockPacing& pacing, std::string_view image, std::int32_t index,
                               const std::string& TargetIP) {
    std::string payload = "UD" + Hex4(static_cast<std::uint32_t>(index));
    payload += BlockOf(image, static_cast<std::size_t>(index));
    const std::string frame = MakeFrame(payload);
    pacing.SendBegins();
    context_.UpdateSocket.SendTo(frame, TargetIP, context_.updatePort);
    context_.display.AdvanceProgress();
    return pacing.PauseAfterSend();
}

void TransferWorker::Complete(const std::string& TargetIP) {
    if (!context_.pacer.Sleep(FinishDelay)) {
        return;
    }
    context_.ProtocolState.Store(Protocol::End);
    const std::string query = MakeFrame("EN");
    int queries = 0;
    while (context_.ProtocolState.Load() == Protocol::End) {
        context_.UpdateSocket.SendTo(query, TargetIP, context_.updatePort);
        context_.display.SetStatus(std::string(text::QueryUpdateResult));
        if (!context_.pacer.Sleep(QueryDelay)) {
            return;
        }
        if (++queries == MaxQueries) {
            break;
        }
    }
    if (queries > UnansweredQueries && context_.ProtocolState.Load() == Protocol::End) {
        context_.display.SetStatus(std::string(text::UpdateFail));
    }
    context_.display.SetProgressPosition(0);
}

}  // namespace lut
