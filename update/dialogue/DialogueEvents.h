// What happens in an update dialogue, as typed values. The controller reports its events on the GUI
// thread; the workers report theirs from their own threads, and they reach the GUI thread in order. The
// window turns them into its texts, boxes and progress (DialoguePresenter); the command line into its
// exit codes, report and progress bar. Nobody decides anything from a displayed text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "update/WindowOperations.h"

namespace lut {

namespace dialogue {

// The update request "LU" went out. sendFailed: the system refused the datagram (the dialogue goes on
// regardless; an answer may still come).
struct RequestSent {
    LoggerRow logger;
    std::string version;
    std::int32_t blockCount = 0;
    bool sendFailed = false;
    bool again = false;  // the same request once more, no answer having come
};

// The logger answered "R" + the first block it wants.
struct Accepted {
    std::int32_t startBlock = 0;
};

// The logger refused the request: "E80", "E81", or another answer (or none) that does not begin with "R".
enum class Refusal { FlashNotExists, SameVersion, Other };
struct Refused {
    Refusal code = Refusal::Other;
    std::string answer;
};

// A worker run begins: the progress counts `position` of `blocks` (worker A: the image's blocks from the
// start block; worker B: the blocks asked for again, from 0).
struct RunBegins {
    std::int32_t blocks = 0;
    std::int32_t position = 0;
    bool resend = false;
};

// Block `index` went out, first time (worker A) or again (worker B).
struct BlockSent {
    std::int32_t index = 0;
    bool resend = false;
    bool sendFailed = false;
};

// The logger answered a query with the blocks it misses.
struct ResendAsked {
    std::vector<std::int32_t> blocks;
};

// Result query `number` (1 to 5) went out.
struct QuerySent {
    int number = 0;
    bool sendFailed = false;
};

// The logger answered "R" alone: it has every block.
struct Complete {};

// Five queries went unanswered.
struct QueriesUnanswered {};

// A run is over (or its queries were answered): the progress goes back to 0.
struct RunEnds {};

// The logger answered a query with something that is neither "R" nor a resend list.
struct UnknownError {
    std::string answer;
};

// An answer that cannot be read whole: it changes nothing, a readable one may follow.
enum class Unreadable { Acceptance, ResendList };
struct UnreadableAnswer {
    Unreadable what = Unreadable::Acceptance;
    std::string answer;
};

// A worker's run failed before its end (not a shut-down); the worker serves the next start.
struct RunFailed {
    std::string why;
};

// The version check after "Update complete" came to a verdict: the logger answered with the version sent,
// kept answering with another one, or did not answer at all. A check that something else ended has none.
struct VersionChecked {
    bool verified = false;
    std::string reported;  // the version of the logger's last answer; empty when none came
    std::string message;   // the verdict in a line
};

}  // namespace dialogue

using DialogueEvent =
    std::variant<dialogue::RequestSent, dialogue::Accepted, dialogue::Refused, dialogue::RunBegins,
                 dialogue::BlockSent, dialogue::ResendAsked, dialogue::QuerySent, dialogue::Complete,
                 dialogue::QueriesUnanswered, dialogue::RunEnds, dialogue::UnknownError,
                 dialogue::UnreadableAnswer, dialogue::RunFailed, dialogue::VersionChecked>;

// How a dialogue ended, named as the command line's report and the update record name it.
enum class DialogueEnd { Complete, Refused, UnknownError, UpdateFail };

constexpr std::string_view NameOf(DialogueEnd end) {
    switch (end) {
        case DialogueEnd::Complete:
            return "complete";
        case DialogueEnd::Refused:
            return "refused";
        case DialogueEnd::UnknownError:
            return "unknown-error";
        case DialogueEnd::UpdateFail:
            return "update-fail";
    }
    return {};
}

// The end an event brings about, if it ends the dialogue.
constexpr std::optional<DialogueEnd> EndOf(const DialogueEvent& event) {
    if (std::holds_alternative<dialogue::Complete>(event)) {
        return DialogueEnd::Complete;
    }
    if (std::holds_alternative<dialogue::Refused>(event)) {
        return DialogueEnd::Refused;
    }
    if (std::holds_alternative<dialogue::UnknownError>(event)) {
        return DialogueEnd::UnknownError;
    }
    if (std::holds_alternative<dialogue::QueriesUnanswered>(event) ||
        std::holds_alternative<dialogue::RunFailed>(event)) {
        return DialogueEnd::UpdateFail;
    }
    return std::nullopt;
}

// Takes the events of a dialogue on the GUI thread.
class DialogueObserver {
  public:
    virtual ~DialogueObserver() = default;
    virtual void OnDialogueEvent(const DialogueEvent& event) = 0;
};

}  // namespace lut
