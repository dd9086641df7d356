// The per-user file of the update record, one JSON line per update attempt. Each line goes out in one
// write to a file opened for appending, so that tools appending at the same time never interleave or tear
// a line, and a crash leaves at most a line that a reader skips.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "record/UpdateRecord.h"

namespace lut::record {

// The environment variable that moves the record (a file path) or turns it off ("off").
inline constexpr const char* RecordVariable = "LOGGER_UPDATE_RECORD";

// Where the record is kept: $LOGGER_UPDATE_RECORD; else $XDG_STATE_HOME/logger-update-tool/updates.jsonl,
// by default ~/.local/state/...; on Windows LoggerUpdateTool\updates.jsonl in the user's local application
// data, as the system names that folder. Empty when recording is off or no home folder is known.
std::optional<std::filesystem::path> RecordPath();

// Appends the entry as one line, creating the file and its folders as needed.
std::error_code Append(const std::filesystem::path& file, const Entry& entry);

// "The update record <path> could not be written: <reason>".
std::string UnwrittenText(const std::filesystem::path& file, std::error_code why);

struct Contents {
    std::vector<Entry> entries;         // in the order they were appended
    std::vector<std::string> warnings;  // one per damaged line skipped
};

// Every readable line of the record; a missing file is an empty record.
Contents Read(const std::filesystem::path& file);

}  // namespace lut::record
