#include "update/TransferSteps.h"

#include <algorithm>

#include "link/uPubpro.h"
#include "update/UpdateImage.h"

namespace lut {

namespace {
constexpr int MaxQueries = 5;
constexpr int UnansweredQueries = 3;  // more unanswered queries than this, and the update has failed
}  // namespace

TransferSteps::TransferSteps(const WorkerContext& context, std::string TargetIP, bool resend)
    : context_(context), TargetIP_(std::move(TargetIP)), resend_(resend) {}

bool TransferSteps::SendBlock(std::string_view image, std::int32_t index) {
    std::string payload = "UD" + Hex4(static_cast<std::uint32_t>(index));
    payload += BlockOf(image, static_cast<std::size_t>(index));
    const std::string frame = MakeFrame(payload);
    const Pacer::TimePoint sendBegan = context_.pacer.Now();
    const bool failed =
        static_cast<bool>(context_.UpdateSocket.SendTo(frame, TargetIP_, context_.updatePort));
    context_.display.Report(dialogue::BlockSent{index, resend_, failed});
    deadline_ = std::max(deadline_, sendBegan) + BlockDelay;
    return context_.pacer.SleepUntil(deadline_);
}

void TransferSteps::Complete() {
    if (!context_.pacer.Sleep(FinishDelay)) {
        return;
    }
    context_.ProtocolState.Store(Protocol::End);
    const std::string query = MakeFrame("EN");
    int queries = 0;
    while (context_.ProtocolState.Load() == Protocol::End) {
        const bool failed =
            static_cast<bool>(context_.UpdateSocket.SendTo(query, TargetIP_, context_.updatePort));
        context_.display.Report(dialogue::QuerySent{queries + 1, failed});
        if (!context_.pacer.Sleep(QueryDelay)) {
            return;
        }
        if (++queries == MaxQueries) {
            break;
        }
    }
    if (queries > UnansweredQueries && context_.ProtocolState.Load() == Protocol::End) {
        context_.display.Report(dialogue::QueriesUnanswered{});
    }
    context_.display.Report(dialogue::RunEnds{});
}

}  // namespace lut
