#include "update/UpdateController.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "link/uPubpro.h"
#include "update/Messages.h"
#include "update/TrimText.h"
#include "update/UpdateImage.h"

namespace lut {

namespace {

constexpr std::size_t HexFieldChars = 4;
constexpr std::size_t ShownAnswerChars = 64;

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

// An answer as the error display quotes it: printable characters as they are, others as \xNN, cut short.
std::string Quoted(std::string_view answer) {
    return "'" + EscapedText(answer, ShownAnswerChars) + (answer.size() > ShownAnswerChars ? "'..." : "'");
}

}  // namespace

UpdateController::UpdateController(WindowOperations& window, UpdateState& state, const WorkerContext& workers)
    : window_(window), state_(state), workers_(workers) {}

void UpdateController::CreateWorkers() {
    state_.Upthread = std::make_unique<Tupthread>(workers_);
    state_.Upthread1 = std::make_unique<Tupthread1>(workers_);
}

void UpdateController::btnUPGClick() {
    const std::optional<int> selected = window_.SelectedRow();
    if (!selected) {
        window_.ShowWarning(std::string(text::PleaseSelectLogger));
        return;
    }
    const Protocol step = state_.ProtocolState.Load();
    if (step == Protocol::Update || step == Protocol::End) {
        window_.ShowWarning(std::string(text::LastUpdateNotComplete));
        return;
    }
    const LoggerRow logger = window_.Row(*selected);
    if (!logger.version.starts_with('S')) {
        window_.ShowWarning(std::string(text::VersionNotMatch));
        return;
    }
    if (window_.FilePathText().empty()) {
        window_.ShowWarning(std::string(text::PleaseChooseFile));
        return;
    }
    state_.SendImage = state_.LoadedImage;
    if (state_.SendImage->empty()) {
        window_.ShowWarning(std::string(text::ReadUpdateFileFail));
        return;
    }
    const std::size_t blockCount = BlockCountOf(*state_.SendImage);
    state_.ProtocolState.Store(Protocol::Request);
    const std::string payload = "LU" + std::string(TrimBlankAndControl(window_.VersionText())) +
                                Hex4(static_cast<std::uint32_t>(blockCount));
    requestTarget_ = logger.ip;
    workers_.UpdateSocket.SendTo(MakeFrame(payload), requestTarget_, workers_.updatePort);
    window_.SetStatusText(std::string(text::RequestUpdate));
}

void UpdateController::HandleUpdateFrame(const std::string& frame) {
    const std::string_view payload = FramePayload(frame);
    switch (state_.ProtocolState.Load()) {
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

void UpdateController::HandleRequestAnswer(std::string_view payload) {
    if (!payload.starts_with('R')) {
        state_.ProtocolState.Store(Protocol::Idle);
        const std::string_view code = payload.substr(0, 3);
        if (code == "E80") {
            window_.ShowWarning(std::string(text::FlashNotExists));
        } else if (code == "E81") {
            window_.ShowWarning(std::string(text::SameVersion));
        }
        return;
    }
    const std::optional<std::int32_t> startBlock = HexField(payload, 1);
    if (!startBlock) {
        ReportUnreadable(text::UnreadableAcceptance, payload);
        return;
    }
    Tupthread& worker = WorkerA();
    window_.SetStatusText(std::string(text::Updating));
    worker.SetFields({*startBlock, static_cast<std::int32_t>(BlockCountOf(*state_.SendImage)), requestTarget_,
                      state_.SendImage});
    state_.ProtocolState.Store(Protocol::Update);
    worker.Post(WorkerStartMessage);
}

void UpdateController::HandleQueryAnswer(std::string_view payload) {
    if (payload == "R") {
        state_.ProtocolState.Store(Protocol::Idle);
        window_.ShowWarning(std::string(text::UpdateComplete));
        return;
    }
    if (!payload.starts_with('R')) {
        state_.ProtocolState.Store(Protocol::Idle);
        window_.ShowWarning(std::string(text::UpdateUnknownError));
        return;
    }
    std::optional<std::vector<std::int32_t>> blocks = ResendList(payload);
    if (!blocks) {
        ReportUnreadable(text::UnreadableResendList, payload);
        return;
    }
    Tupthread1& worker = WorkerB();
    state_.ProtocolState.Store(Protocol::Update);
    window_.SetStatusText(std::string(text::Updating));
    worker.SetFields({std::move(*blocks), requestTarget_, state_.SendImage});
    worker.Post(WorkerStartMessage);
}

void UpdateController::ReportUnreadable(std::string_view what, std::string_view payload) {
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
    window_.ShowError(std::string(what) + Quoted(payload));
}

Tupthread& UpdateController::WorkerA() {
    if (!state_.Upthread || state_.Upthread->Terminated()) {
        state_.Upthread = std::make_unique<Tupthread>(workers_);
    }
    return *state_.Upthread;
}

Tupthread1& UpdateController::WorkerB() {
    if (!state_.Upthread1 || state_.Upthread1->Terminated()) {
        state_.Upthread1 = std::make_unique<Tupthread1>(workers_);
    }
    return *state_.Upthread1;
}

}  // namespace lut
