// Writes one line of the update record for each update attempt that reached the request, from what the
// run learnt: the logger as found, the image loaded, the request as sent, the tally of the progress view
// and the version check. A record that cannot be written is a warning, never a changed exit code.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "cli/ExitCode.h"
#include "cli/ProgressView.h"
#include "record/UpdateRecord.h"
#include "update/dialogue/DialogueEvents.h"
#include "update/search/VersionCheck.h"

namespace lut::cli {

class AttemptRecord {
  public:
    // `enabled`: false for --no-record.
    AttemptRecord(bool enabled, std::ostream& err);

    // Once a run, after Browse: the facts of the image every attempt sends, from the bytes loaded.
    void Loaded(const std::filesystem::path& file, const ImageText& image);

    // One attempt's line; `corrects`: the earlier line of the attempt that this one corrects (a late "R"
    // after "Update Fail"), whose identity it carries. Returns the line written; none when no line is kept.
    std::optional<record::Entry> Write(const LoggerRow& logger, const dialogue::RequestSent& request,
                                       const ProgressView& tally, const VersionCheck* check, ExitCode code,
                                       const std::string& message, double seconds,
                                       const record::Entry* corrects = nullptr);

  private:
    std::optional<std::filesystem::path> path_;
    record::ImageFacts image_;
    std::ostream& err_;
};

}  // namespace lut::cli
