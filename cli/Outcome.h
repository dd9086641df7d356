// How an update with one logger ends, as the command line decides it from the dialogue's events alone.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "cli/ExitCode.h"
#include "cli/ProgressView.h"
#include "update/DialogueEvents.h"

namespace lut::cli {

struct Outcome {
    ExitCode code;
    std::string message;
};

// The end that an event of the dialogue decides, if it decides one ("Update complete" included).
std::optional<Outcome> OutcomeOf(const DialogueEvent& event);

// What Ctrl-C at the stage the view has seen means for the logger.
Outcome InterruptedOutcome(const ProgressView& view);

// "3 s", "0.5 s".
std::string Seconds(std::chrono::milliseconds wait);

}  // namespace lut::cli
