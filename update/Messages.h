// Every text the tool shows a technician, once, for the window, the command line and the tests.
#pragma once

#include <string_view>

namespace lut::text {

// Status line.
inline constexpr std::string_view Ready = "Ready";
inline constexpr std::string_view CreateSocketFail = "Create Socket Fail!!";
inline constexpr std::string_view RequestUpdate = "Request Update";
inline constexpr std::string_view Updating = "Updating";
inline constexpr std::string_view QueryUpdateResult = "Query Update result";
inline constexpr std::string_view UpdateFail = "Update Fail";

// Message boxes.
inline constexpr std::string_view PleaseSelectLogger = "Please select a Logger";
inline constexpr std::string_view LastUpdateNotComplete = "Last Update is not complete";
inline constexpr std::string_view VersionNotMatch = "Version is not match, can not update";
inline constexpr std::string_view PleaseChooseFile = "Please choose a file";
inline constexpr std::string_view ReadUpdateFileFail = "Read Update File Fail";
inline constexpr std::string_view FlashNotExists = "Flash not exists,can not update";
inline constexpr std::string_view SameVersion = "Same Version";
inline constexpr std::string_view UpdateComplete = "Update complete";
inline constexpr std::string_view UpdateUnknownError = "Update fail.Unknown Error Ocurred";
inline constexpr std::string_view VersionMustBeginWithS = "Version must be begin with S";

// Error display: an answer of the logger that cannot be read whole changes nothing; the answer follows.
inline constexpr std::string_view UnreadableAcceptance =
    "The logger's answer to the update request cannot be read (its start block is not 4 hexadecimal digits), "
    "so the update has not started. Answer: ";
inline constexpr std::string_view UnreadableResendList =
    "The logger's answer to the result query cannot be read (its block count or a block index is missing or "
    "not "
    "4 hexadecimal digits), so no block is sent again yet. Answer: ";

// Error display: the version text holds a character that the window cannot turn into a byte of the
// request (a logger would get "?" in its place); the version follows.
inline constexpr std::string_view VersionCannotTravel =
    "The update file version cannot be sent: a logger takes one byte for each character, and some of its "
    "characters have none. Change the version, or rename the update file. Version: ";

// How an update ended, where the system has no text of its own.
inline constexpr std::string_view RefusedWithoutReason =
    "The logger refused the update without giving a reason.";
inline constexpr std::string_view PartialImage = " The logger may hold a partial image.";

// Error display: an error that escapes a handler and carries no text of its own.
inline constexpr std::string_view UnexpectedError = "An unexpected error stopped the last action.";

// Error display: an update file larger than a logger can take. Block indices and the block count travel as
// 4 hexadecimal digits, so 65,535 blocks of 300 bytes is the most an update can carry intact.
inline constexpr std::string_view ImageTooLarge =
    "A logger takes at most 19,660,500 bytes (65,535 blocks of 300 bytes); a larger image would reach it "
    "corrupted.";

// Window.
inline constexpr std::string_view NoGraphicalSession =
    "logger-update-tool: the window needs a graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set); "
    "in a terminal, use logger-update.";
inline constexpr std::string_view Caption = "Logger Update Tool";
inline constexpr std::string_view HintCaption = "Hint";
inline constexpr std::string_view FileFilter = "程序文件|*.bin";

}  // namespace lut::text
