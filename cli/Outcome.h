// How an update with one logger ends, as the command line decides it from the dialogue's events alone.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "cli/ExitCode.h"
#include "cli/ProgressView.h"
#include "update/dialogue/DialogueEvents.h"

namespace lut::cli {

struct Outcome {
    ExitCode code;
    std::string message;
};

// The end that an event of the dialogue decides, if it decides one ("Update complete" included).
std::optional<Outcome> OutcomeOf(const DialogueEvent& event);

// "Interrupted" for Ctrl-C; with the network failure that stopped the run when there was one.
std::string InterruptedText(const std::string& networkFailure);

// The run's last line when the network failed under it: what stopped it, and what that means for the
// loggers.
std::string NetworkFailureText(const std::string& networkFailure);

// What Ctrl-C, or the network failure, at the stage the view has seen means for the logger.
Outcome InterruptedOutcome(const ProgressView& view, const std::string& networkFailure = {});

// "3 s", "0.5 s".
std::string Seconds(std::chrono::milliseconds wait);

}  // namespace lut::cli
