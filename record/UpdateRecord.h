// One line of the update record: which logger got which image, when, by whom, and how it ended; and the
// fields every line of an attempt shares, whichever front end writes it, its identity among them.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "update/dialogue/DialogueEvents.h"
#include "update/image/UpdateImage.h"

namespace lut::record {

struct Entry {
    std::string time;  // UTC, ISO 8601 ("2024-05-01T09:30:12Z")
    std::string toolVersion;
    std::string sn;
    std::string ip;
    std::string versionBefore;
    std::string file;  // the file's name, without its folder
    std::uint64_t fileSize = 0;
    std::string sha256;
    std::string versionSent;
    std::int64_t blocks = 0;
    std::int64_t blocksSent = 0;
    std::int64_t blocksResent = 0;
    std::string outcome;  // the command line's result names ("complete", "refused", ...)
    std::string message;
    double seconds = 0;
    std::string host;
    std::string user;
    std::optional<std::string> versionAfter;  // empty: not asked, or no answer
    std::optional<bool> verified;             // empty: not checked
    // The attempt's identity, the same on its line and on every line that corrects it; empty on the lines
    // of records written before attempts had one.
    std::string attempt;
    // The time of an earlier line of the same attempt that this one corrects: the attempt ended otherwise
    // than that line said (a late "R" after "Update Fail"). Readers show the correction instead.
    std::optional<std::string> corrects;
};

// Outcomes of a window's attempt that the dialogue itself does not end (the command line names the first
// two alike).
inline constexpr const char* NoAnswerOutcome = "no-answer";       // the logger never answered the request
inline constexpr const char* InterruptedOutcome = "interrupted";  // the window closed during the transfer
inline constexpr const char* SupersededOutcome = "superseded";    // Update was pressed again in "LU"

// What the record keeps of a loaded image: the file's name, and the size and SHA-256 of the bytes loaded.
struct ImageFacts {
    std::string file;  // the name, without its folder
    std::uint64_t size = 0;
    std::string sha256;
};

// Taken from the loaded image itself, never by reading the file again.
ImageFacts FactsOf(const std::filesystem::path& file, const ImageText& image);

// The fields every line of an attempt shares, whoever writes it: the moment, the tool, the machine and the
// user, the logger as found, the image loaded and the request as sent.
Entry AttemptEntry(const LoggerRow& logger, const dialogue::RequestSent& request, const ImageFacts& image);

// A line that corrects `line`: the same attempt, the time now; the caller sets how it ended.
Entry CorrectionOf(const Entry& line);

// Each attempt once, newest first, in its final state: the last of its lines stands for it. Lines without
// an identity name the line they correct by its time alone; such a correction stands for the newest line
// of the logger with that time, and for the corrections of that line before it.
std::vector<Entry> FinalLines(const std::vector<Entry>& entries);

// The entry as one line of JSON, without the line end; bytes that are no valid UTF-8 become U+FFFD.
std::string ToLine(const Entry& entry);

// The entry a line holds; empty when the line is damaged (no JSON object, or a field of the wrong kind).
std::optional<Entry> FromLine(const std::string& line);

// What the record notes of the machine and the moment.
std::string UtcNow();
std::string ToolVersion();
std::string HostName();
std::string UserName();

}  // namespace lut::record
