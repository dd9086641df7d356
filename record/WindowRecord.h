// The update record as a window keeps it: one line for each attempt that sent a request, written when the
// dialogue ends, when Update is pressed again before the logger answered, or when the window closes. A
// late answer after "Update Fail" adds a line that corrects the first, and so does the verdict of the
// version check after "Update complete" (verified, the version after); a check that something else ended
// leaves the line as it is.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "record/UpdateRecord.h"

namespace lut::record {

class WindowRecord final : public DialogueObserver {
  public:
    // Records to RecordPath(), unless recording is off. The first line that cannot be written is said on
    // stderr and through `unwritten`, which must not open a box (the window puts it in the status line's
    // tooltip): a box would open ahead of the dialogue's own reaction, or at close. Later failures of the
    // same run are not told again.
    explicit WindowRecord(std::function<void(const std::string&)> unwritten);

    // After each Browse: the facts of the image now loaded, taken once for each image.
    void Loaded(const std::filesystem::path& file, const ImageText& image);

    void OnDialogueEvent(const DialogueEvent& event) override;

    // The window closes: an attempt still under way gets its line ("no-answer" before the logger accepted,
    // "interrupted" after).
    void Close();

  private:
    // Writes the attempt with the outcome, and returns the line; keeps it open for a correction when
    // `correctable`.
    Entry Write(std::string outcome, std::string message, bool correctable);
    // Appends the line to the record, if it is kept; tells the first failure.
    void Append(const Entry& line);
    double SecondsSinceRequest() const;

    std::function<void(const std::string&)> unwritten_;
    bool told_ = false;
    ImageText image_;  // the image the facts belong to
    ImageFacts facts_;
    std::optional<Entry> attempt_;   // from the request to the end of the dialogue
    std::optional<Entry> complete_;  // the line of a complete attempt, until the version check's verdict
    bool accepted_ = false;          // the logger accepted the request of the attempt
    bool written_ = false;           // the attempt's line is written; a later end corrects it
    std::chrono::steady_clock::time_point began_;
};

}  // namespace lut::record
