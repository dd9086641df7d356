#include "update/dialogue/UpdateDialogue.h"

#include <cstdint>
#include <vector>

#include "link/uPubpro.h"
#include "update/TrimText.h"

namespace lut {

namespace {

constexpr std::size_t HexFieldChars = 4;

// The 4-digit hexadecimal field (either case) at `position` of the payload, if it is there and readable.
std::optional<std::int32_t> HexField(std::string_view payload, std::size_t position) {
    const std::optional<std::uint32_t> value = ReadHex4(payload, position);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

// The block indices of a resend answer ("R", a count, that many indices); empty when the answer promises
// more indices than it carries or a field cannot be read.
std::optional<std::vector<std::int32_t>> ResendList(std::string_view payload) {
    const std::optional<std::int32_t> count = HexField(payload, 1);
    if (!count) {
        return std::nullopt;
    }
    std::vector<std::int32_t> blocks;
    for (std::int32_t i = 0; i < *count; ++i) {
        const std::optional<std::int32_t> index =
            HexField(payload, 1 + HexFieldChars + static_cast<std::size_t>(i) * HexFieldChars);
        if (!index) {
            return std::nullopt;
        }
        blocks.push_back(*index);
    }
    return blocks;
}

}  // namespace

UpdateDialogue::UpdateDialogue(Endpoint& UpdateSocket, std::uint16_t updatePort, Pacer& pacer,
                               WorkerDisplay& display, DialogueObserver& observer)
    : workers_{UpdateSocket, updatePort, pacer, display, ProtocolState, stop_}, observer_(observer) {}

UpdateDialogue::~UpdateDialogue() {
    Stop();
}

void UpdateDialogue::CreateWorkers() {
    Upthread = std::make_unique<Tupthread>(workers_);
    Upthread1 = std::make_unique<Tupthread1>(workers_);
}

UpdateCheck UpdateDialogue::btnUPGClick(const UpdateRequest& request) {
    if (!request.logger) {
        return UpdateCheck::NoLoggerSelected;
    }
    const Protocol step = ProtocolState.Load();
    if (step == Protocol::Update || step == Protocol::End) {
        return UpdateCheck::LastUpdateNotComplete;
    }
    if (!request.logger->version.starts_with('S')) {
        return UpdateCheck::VersionNotMatch;
    }
    if (request.filePath.empty()) {
        return UpdateCheck::NoFileChosen;
    }
    SendImage = request.image ? request.image : ShareImage({});
    if (SendImage->empty()) {
        return UpdateCheck::FileNotRead;
    }
    ProtocolState.Store(Protocol::Request);
    requestTarget_ = request.logger->ip;
    lastRequest_ = dialogue::RequestSent{*request.logger, std::string(TrimBlankAndControl(request.version)),
                                         static_cast<std::int32_t>(BlockCountOf(*SendImage))};
    SendRequest();
    return UpdateCheck::Passed;
}

bool UpdateDialogue::RequestAgain() {
    if (ProtocolState.Load() != Protocol::Request || !lastRequest_) {
        return false;
    }
    lastRequest_->again = true;
    SendRequest();
    return true;
}

void UpdateDialogue::SendRequest() {
    dialogue::RequestSent& request = *lastRequest_;
    request.sendFailed = static_cast<bool>(workers_.UpdateSocket.SendTo(
        MakeFrame("LU" + request.version + Hex4(static_cast<std::uint32_t>(request.blockCount))),
        requestTarget_, workers_.updatePort));
    observer_.OnDialogueEvent(request);
}

void UpdateDialogue::HandleUpdateFrame(const std::string& frame) {
    const std::string_view payload = FramePayload(frame);
    switch (ProtocolState.Load()) {
        case Protocol::Request:
            HandleRequestAnswer(payload);
            return;
        case Protocol::End:
            HandleQueryAnswer(payload);
            return;
        case Protocol::Idle:
        case Protocol::Search:
        case Protocol::Update:
            return;  // no answer is awaited
    }
}

void UpdateDialogue::HandleRequestAnswer(std::string_view payload) {
    if (!payload.starts_with('R')) {
        ProtocolState.Store(Protocol::Idle);
        const std::string_view code = payload.substr(0, 3);
        const dialogue::Refusal refusal = code == "E80"   ? dialogue::Refusal::FlashNotExists
                                          : code == "E81" ? dialogue::Refusal::SameVersion
                                                          : dialogue::Refusal::Other;
        observer_.OnDialogueEvent(dialogue::Refused{refusal, std::string(payload)});
        return;
    }
    const std::optional<std::int32_t> startBlock = HexField(payload, 1);
    if (!startBlock) {
        ReportUnreadable(dialogue::Unreadable::Acceptance, payload);
        return;
    }
    Tupthread& worker = WorkerA();
    observer_.OnDialogueEvent(dialogue::Accepted{*startBlock});
    worker.SetFields(
        {*startBlock, static_cast<std::int32_t>(BlockCountOf(*SendImage)), requestTarget_, SendImage},
        ++runs_);
    ProtocolState.Store(Protocol::Update);
    worker.Thread().Post(WorkerStartMessage);
}

void UpdateDialogue::HandleQueryAnswer(std::string_view payload) {
    if (payload == "R") {
        ProtocolState.Store(Protocol::Idle);
        observer_.OnDialogueEvent(dialogue::Complete{});
        return;
    }
    if (!payload.starts_with('R')) {
        ProtocolState.Store(Protocol::Idle);
        observer_.OnDialogueEvent(dialogue::UnknownError{std::string(payload)});
        return;
    }
    std::optional<std::vector<std::int32_t>> blocks = ResendList(payload);
    if (!blocks) {
        ReportUnreadable(dialogue::Unreadable::ResendList, payload);
        return;
    }
    Tupthread1& worker = WorkerB();
    ProtocolState.Store(Protocol::Update);
    observer_.OnDialogueEvent(dialogue::ResendAsked{*blocks});
    worker.SetFields({std::move(*blocks), requestTarget_, SendImage}, ++runs_);
    worker.Thread().Post(WorkerStartMessage);
}

void UpdateDialogue::ReportUnreadable(dialogue::Unreadable what, std::string_view payload) {
    // The box is modal and its event loop lets further answers in: a stream of unreadable answers would
    // stack one box on another without end. While one is up, the next are dropped.
    if (reportingUnreadable_) {
        return;
    }
    reportingUnreadable_ = true;
    const struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{reportingUnreadable_};
    observer_.OnDialogueEvent(dialogue::UnreadableAnswer{what, std::string(payload)});
}

Tupthread& UpdateDialogue::WorkerA() {
    if (!Upthread || Upthread->Thread().Terminated()) {
        Upthread = std::make_unique<Tupthread>(workers_);
    }
    return *Upthread;
}

Tupthread1& UpdateDialogue::WorkerB() {
    if (!Upthread1 || Upthread1->Thread().Terminated()) {
        Upthread1 = std::make_unique<Tupthread1>(workers_);
    }
    return *Upthread1;
}

}  // namespace lut
