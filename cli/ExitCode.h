// What the command line tells a script when it ends: one code a way of ending, with the words shown in
// --help.
#pragma once

#include <array>
#include <string_view>

#include "update/dialogue/DialogueEvents.h"

namespace lut::cli {

enum class ExitCode : int {
    Complete = 0,            // "Update complete" (search: the search ran)
    BadArguments = 1,        // the command line is wrong
    EndpointFailed = 2,      // "Create Socket Fail!!", no local address, no probe sent, or the network failed
    NoAnswer = 3,            // the logger did not answer the probe or the update requests in time
    CheckFailed = 4,         // a check of the Update button failed, the file is unreadable or not --sha256's
    Refused = 5,             // "Flash not exists,can not update", "Same Version", or a refusal without reason
    UnknownError = 6,        // "Update fail.Unknown Error Ocurred", or an answer the tool could not read
    UpdateFail = 7,          // "Update Fail": the result queries went unanswered
    NotVerified = 8,         // "Update complete", but the logger then reported another version
    NoVerifyAnswer = 9,      // "Update complete", but the logger did not answer the version probe in time
    AddressConflict = 10,    // two loggers answered from the logger's address: not updated
    FewerThanExpected = 11,  // --expect: the search found fewer loggers; none was updated
    DoctorError = 12,        // doctor: a problem that stops a search or an update here
    DoctorWarning = 13,      // doctor: only problems that may cost loggers or other users
    Interrupted = 130,       // Ctrl-C
};

constexpr int ToInt(ExitCode code) {
    return static_cast<int>(code);
}

struct ExitCodeText {
    ExitCode code;
    std::string_view name;     // the "result" of the JSON report
    std::string_view meaning;  // for --help
};

inline constexpr std::array<ExitCodeText, 15> ExitCodeTexts{{
    {ExitCode::Complete, NameOf(DialogueEnd::Complete),
     "\"Update complete\"; for search: the search ran, whether or not a logger answered"},
    {ExitCode::BadArguments, "bad-arguments", "bad arguments"},
    {ExitCode::EndpointFailed, "endpoint-failed",
     "\"Create Socket Fail!!\": an endpoint could not be opened (see the ports above), no local address, or "
     "no probe of the search could be sent, or the network failed during the update (each logger's result "
     "says what it holds)"},
    {ExitCode::NoAnswer, "no-answer",
     "the logger did not answer the probe, or none of 3 update requests 1.5 s apart, within --wait"},
    {ExitCode::CheckFailed, "check-failed",
     "a check of the Update button failed, the file could not be read, or its SHA-256 is not --sha256's "
     "(the message says which)"},
    {ExitCode::Refused, NameOf(DialogueEnd::Refused),
     "the logger refused: \"Flash not exists,can not update\", \"Same Version\", or without a reason"},
    {ExitCode::UnknownError, NameOf(DialogueEnd::UnknownError),
     "\"Update fail.Unknown Error Ocurred\", or the logger's answer could not be read"},
    {ExitCode::UpdateFail, NameOf(DialogueEnd::UpdateFail),
     "\"Update Fail\": the logger did not answer the result queries (or the transfer stalled)"},
    {ExitCode::NotVerified, "not-verified",
     "\"Update complete\", but asked again the logger reports another version than the one sent"},
    {ExitCode::NoVerifyAnswer, "no-verify-answer",
     "\"Update complete\", but the logger did not answer the version probe within --verify-wait"},
    {ExitCode::AddressConflict, "address-conflict",
     "address conflict: loggers with different serial numbers answered from one address; it is not updated"},
    {ExitCode::FewerThanExpected, "fewer-than-expected",
     "fewer loggers than expected: the search found fewer than --expect; no logger was updated"},
    {ExitCode::DoctorError, "doctor-error",
     "doctor: a problem of severity \"error\" (a search or an update fails here as things stand)"},
    {ExitCode::DoctorWarning, "doctor-warning",
     "doctor: problems of severity \"warning\" only (some loggers or other users may not be reached)"},
    {ExitCode::Interrupted, "interrupted",
     "interrupted by Ctrl-C (the message says what the logger holds); a logger's result also when the "
     "network failed"},
}};

constexpr std::string_view NameOf(ExitCode code) {
    for (const auto& entry : ExitCodeTexts) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return "";
}

}  // namespace lut::cli
