#include "update/workers/TransferSteps.h"

#include <algorithm>

#include "link/uPubpro.h"

namespace lut {

namespace {
constexpr int MaxQueries = 5;
constexpr int UnansweredQueries = 3;  // more unanswered queries than this, and the update has failed
}  // namespace

TransferSteps::TransferSteps(const WorkerContext& context, const BlockRun& run)
    : context_(context), run_(run) {}

void TransferSteps::Run() {
    const std::string_view image = run_.SendImage ? std::string_view(*run_.SendImage) : std::string_view();
    Report(run_.begins);
    for (const std::int32_t index : run_.blocks) {
        if (!SendBlock(image, index)) {
            return;
        }
    }
    Complete();
}

bool TransferSteps::SendBlock(std::string_view image, std::int32_t index) {
    std::string payload = "UD" + Hex4(static_cast<std::uint32_t>(index));
    payload += BlockOf(image, static_cast<std::size_t>(index));
    const std::string frame = MakeFrame(payload);
    const Pacer::TimePoint sendBegan = context_.pacer.Now();
    const bool failed =
        static_cast<bool>(context_.UpdateSocket.SendTo(frame, run_.TargetIP, context_.updatePort));
    Report(dialogue::BlockSent{index, run_.begins.resend, failed});
    deadline_ = std::max(deadline_, sendBegan) + BlockDelay;
    return context_.pacer.SleepUntil(deadline_, context_.stop);
}

void TransferSteps::Complete() {
    if (!context_.pacer.Sleep(FinishDelay, context_.stop)) {
        return;
    }
    context_.ProtocolState.Store(Protocol::End);
    const std::string query = MakeFrame("EN");
    int queries = 0;
    while (context_.ProtocolState.Load() == Protocol::End) {
        const bool failed =
            static_cast<bool>(context_.UpdateSocket.SendTo(query, run_.TargetIP, context_.updatePort));
        Report(dialogue::QuerySent{queries + 1, failed});
        if (!context_.pacer.Sleep(QueryDelay, context_.stop)) {
            return;
        }
        if (++queries == MaxQueries) {
            break;
        }
    }
    if (queries > UnansweredQueries && context_.ProtocolState.Load() == Protocol::End) {
        Report(dialogue::QueriesUnanswered{});
    }
    Report(dialogue::RunEnds{});
}

void TransferSteps::Report(const DialogueEvent& event) {
    context_.display.Report(run_.run, event);
}

}  // namespace lut
