// The update record as a window keeps it: one line for each update that reached the request, written when
// the dialogue ends. A window does not ask the logger for its version afterwards, so its lines carry no
// version after and no verification.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "record/UpdateRecord.h"
#include "update/DialogueEvents.h"

namespace lut::record {

// The fields every line of an attempt shares, whoever writes it: the moment, the tool, the machine and the
// user, the logger as found, the file (its name, size and SHA-256) and the request as sent.
Entry AttemptEntry(const LoggerRow& logger, const dialogue::RequestSent& request,
                   const std::filesystem::path& updateFile);

class WindowRecord final : public DialogueObserver {
  public:
    // updateFile: the file the window has loaded, asked when the request goes out. Records to RecordPath(),
    // unless recording is off.
    explicit WindowRecord(std::function<std::filesystem::path()> updateFile);

    void OnDialogueEvent(const DialogueEvent& event) override;

  private:
    std::function<std::filesystem::path()> updateFile_;
    std::optional<Entry> attempt_;  // from the request to the end of the dialogue
    std::chrono::steady_clock::time_point began_;
};

}  // namespace lut::record
