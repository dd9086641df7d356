#include "cli/Outcome.h"

#include <sstream>

#include "update/dialogue/DialoguePresenter.h"

namespace lut::cli {

std::optional<Outcome> OutcomeOf(const DialogueEvent& event) {
    const std::optional<DialogueEnd> end = EndOf(event);
    if (!end) {
        return std::nullopt;
    }
    ExitCode code = ExitCode::UpdateFail;
    switch (*end) {
        case DialogueEnd::Complete:
            code = ExitCode::Complete;
            break;
        case DialogueEnd::Refused:
            code = ExitCode::Refused;
            break;
        case DialogueEnd::UnknownError:
            code = ExitCode::UnknownError;
            break;
        case DialogueEnd::UpdateFail:
            code = ExitCode::UpdateFail;
            break;
    }
    return Outcome{code, OutcomeText(event)};
}

std::string InterruptedText(const std::string& networkFailure) {
    return networkFailure.empty() ? "Interrupted"
                                  : "Interrupted by a network failure (" + networkFailure + ")";
}

std::string NetworkFailureText(const std::string& networkFailure) {
    return "The network failed (" + networkFailure +
           "): every update under way was stopped, and a logger cut off while sending blocks holds a partial "
           "image; run the update again once the network is back.";
}

Outcome InterruptedOutcome(const ProgressView& view, const std::string& networkFailure) {
    std::string what;
    using Stage = ProgressView::Stage;
    const Stage stage = view.CurrentStage();
    if (stage == Stage::None) {
        what = "before the update request; the logger was not changed.";
    } else if (!view.Transferring()) {
        what =
            "after the update request, before the logger's answer. The logger may have accepted the request "
            "and wait for blocks; run the update again.";
    } else if (stage == Stage::Querying || view.Position() >= view.Maximum()) {
        what =
            "after all blocks were sent, before the logger confirmed the image. It may hold the whole "
            "image or miss some blocks; search to see its version, or run the update again.";
    } else {
        what = std::string("while ") + (stage == Stage::Resending ? "resending" : "sending") +
               " blocks: " + std::to_string(view.Position()) + " of " + std::to_string(view.Maximum()) +
               " sent. The logger holds a partial image and expects the rest or a new update request; run "
               "the update again.";
    }
    return {ExitCode::Interrupted, InterruptedText(networkFailure) + " " + what};
}

std::string Seconds(std::chrono::milliseconds wait) {
    std::ostringstream text;
    text << wait.count() / 1000.0 << " s";
    return text.str();
}

}  // namespace lut::cli
