#include "update/dialogue/DialoguePresenter.h"

#include "link/uPubpro.h"
#include "update/Messages.h"
#include "update/Overloaded.h"

namespace lut {

namespace {

constexpr std::size_t ShownAnswerChars = 64;

// An answer as the error display quotes it: printable characters as they are, others as \xNN, cut short.
std::string Quoted(std::string_view answer) {
    std::string quoted = "'";
    quoted += EscapedText(answer, ShownAnswerChars);
    quoted += answer.size() > ShownAnswerChars ? "'..." : "'";
    return quoted;
}

void Warn(WindowOperations& window, std::string_view message) {
    if (!message.empty()) {
        window.ShowWarning(std::string(message));
    }
}

}  // namespace

std::string_view MessageOf(UpdateCheck check) {
    switch (check) {
        case UpdateCheck::Passed:
            return {};
        case UpdateCheck::NoLoggerSelected:
            return text::PleaseSelectLogger;
        case UpdateCheck::LastUpdateNotComplete:
            return text::LastUpdateNotComplete;
        case UpdateCheck::VersionNotMatch:
            return text::VersionNotMatch;
        case UpdateCheck::NoFileChosen:
            return text::PleaseChooseFile;
        case UpdateCheck::FileNotRead:
            return text::ReadUpdateFileFail;
        case UpdateCheck::AddressConflict:
            return {};  // text::ConflictHint, which names the address and the loggers
    }
    return {};
}

std::string_view MessageOf(dialogue::Refusal refusal) {
    switch (refusal) {
        case dialogue::Refusal::FlashNotExists:
            return text::FlashNotExists;
        case dialogue::Refusal::SameVersion:
            return text::SameVersion;
        case dialogue::Refusal::Other:
            return {};
    }
    return {};
}

std::string UnreadableText(const dialogue::UnreadableAnswer& event) {
    std::string shown(event.what == dialogue::Unreadable::Acceptance ? text::UnreadableAcceptance
                                                                     : text::UnreadableResendList);
    shown += Quoted(event.answer);
    return shown;
}

std::string OutcomeText(const DialogueEvent& event) {
    if (const auto* refused = std::get_if<dialogue::Refused>(&event)) {
        const std::string_view message = MessageOf(refused->code);
        return std::string(message.empty() ? text::RefusedWithoutReason : message);
    }
    if (const auto* failed = std::get_if<dialogue::RunFailed>(&event)) {
        std::string message(text::UpdateFail);
        message += ": the transfer stopped (" + failed->why + ").";
        message += text::PartialImage;
        return message;
    }
    switch (EndOf(event).value_or(DialogueEnd::Refused)) {
        case DialogueEnd::Complete:
            return std::string(text::UpdateComplete);
        case DialogueEnd::UnknownError:
            return std::string(text::UpdateUnknownError);
        case DialogueEnd::UpdateFail:
            return std::string(text::UpdateFail);
        case DialogueEnd::Refused:
            break;
    }
    return {};
}

void Present(const DialogueEvent& event, WindowOperations& window) {
    const auto status = [&window](std::string_view text) { window.SetStatusText(std::string(text)); };
    std::visit(Overloaded{
                   [&](const dialogue::RequestSent&) { status(text::RequestUpdate); },
                   [&](const dialogue::Accepted&) { status(text::Updating); },
                   [&](const dialogue::Refused& e) { Warn(window, MessageOf(e.code)); },
                   [&](const dialogue::RunBegins& e) {
                       window.SetProgressMax(e.blocks);
                       window.SetProgressPosition(e.position);
                   },
                   [&](const dialogue::BlockSent&) { window.AdvanceProgress(); },
                   [&](const dialogue::ResendAsked&) { status(text::Updating); },
                   [&](const dialogue::QuerySent&) { status(text::QueryUpdateResult); },
                   [&](const dialogue::Complete&) { Warn(window, text::UpdateComplete); },
                   [&](const dialogue::QueriesUnanswered&) { status(text::UpdateFail); },
                   [&](const dialogue::RunEnds&) { window.EndProgress(); },
                   [&](const dialogue::UnknownError&) { Warn(window, text::UpdateUnknownError); },
                   [&](const dialogue::UnreadableAnswer& e) { window.ShowError(UnreadableText(e)); },
                   [&](const dialogue::RunFailed&) { status(text::UpdateFail); },
                   [](const dialogue::VersionChecked&) {},  // the core shows the verdict itself
               },
               event);
}

UpdateCheck PressUpdate(UpdateDialogue& dialogue, WindowOperations& window, std::optional<LoggerRow> selected,
                        ImageText image) {
    const UpdateCheck check = dialogue.btnUPGClick(
        {std::move(selected), window.VersionText(), window.FilePathText(), std::move(image)});
    if (check != UpdateCheck::Passed) {
        window.ShowWarning(std::string(MessageOf(check)));
    }
    return check;
}

}  // namespace lut
