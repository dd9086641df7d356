// The texts of what the field brings to light: two loggers at one address, a logger that keeps its old
// version after an update, a network that fails. Each names the address, the serial numbers or the error
// at hand, so they are made here, once, for every front end.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "update/WindowOperations.h"
#include "update/search/SweepResult.h"

namespace lut::text {

// An address that answered with several serial numbers (`loggers`, in the order they answered): the
// row's caption, its tooltip, and the Hint box of Update on it.
std::string ConflictCaption(const std::vector<LoggerRow>& loggers);
std::string ConflictTip(const std::vector<LoggerRow>& loggers);
std::string ConflictHint(const std::vector<LoggerRow>& loggers);

// The version check after "Update complete": the Hint box when the logger's last answer names another
// version than the one sent, and the status line's tooltip when it never answered.
std::string VersionMismatchHint(const LoggerRow& logger, const std::string& reported,
                                const std::string& expected);
std::string NoVersionAnswerTip(const LoggerRow& logger, const std::string& expected,
                               std::chrono::milliseconds wait);

// The Hint boxes of a network that fails: a receive error that is not transient, and a sweep that could
// send no probe.
std::string ReceiveFailureHint(const std::string& localAddress, std::error_code error);
std::string SweepFailureHint(const SweepResult& sweep);

}  // namespace lut::text
