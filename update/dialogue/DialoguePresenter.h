// How the window shows an update dialogue: each event as the status text, box or progress change the
// technician sees, and the texts of the Update button's checks. Both windows and the command line's
// in-memory window use it, so each text is chosen in one place.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "update/WindowOperations.h"
#include "update/dialogue/DialogueEvents.h"
#include "update/dialogue/UpdateDialogue.h"

namespace lut {

// The warning of a failed check; empty for Passed.
std::string_view MessageOf(UpdateCheck check);

// The warning of a refusal; empty for one without a known code (it ends the dialogue silently).
std::string_view MessageOf(dialogue::Refusal refusal);

// The error display's text for an answer that cannot be read: what it is, then the answer quoted.
std::string UnreadableText(const dialogue::UnreadableAnswer& event);

// The message of an event that ends the dialogue (EndOf), as the command line reports it and the update
// record keeps it; empty for any other event.
std::string OutcomeText(const DialogueEvent& event);

// Shows one event on the window's controls. GUI thread.
void Present(const DialogueEvent& event, WindowOperations& window);

// The window's Update button: the dialogue's checks and request with the selected logger and the loaded
// image beside what edt1 and redt2 show; a failed check shows its warning.
UpdateCheck PressUpdate(UpdateDialogue& dialogue, WindowOperations& window, std::optional<LoggerRow> selected,
                        ImageText image);

}  // namespace lut
