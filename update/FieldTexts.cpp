#include "update/FieldTexts.h"

#include <array>

#include "update/TrimText.h"

namespace lut::text {

namespace {

constexpr std::string_view AgainText = "Search again.";

// "Two", "Three" and so on: how many loggers answer at one address.
std::string CountWord(std::size_t count) {
    static constexpr std::array<const char*, 10> Words{"No",   "One", "Two",   "Three", "Four",
                                                       "Five", "Six", "Seven", "Eight", "Nine"};
    return count < Words.size() ? Words[count] : std::to_string(count);
}

// "LG00001 at 10.0.0.5": the serial number as its row's first caption showed it.
std::string Who(const LoggerRow& logger) {
    return std::string(TrimBlankAndControl(logger.sn)) + " at " + logger.ip;
}

std::string Serials(const std::vector<LoggerRow>& loggers) {
    std::string serials;
    for (const LoggerRow& logger : loggers) {
        serials += (serials.empty() ? "" : ", ") + logger.sn;
    }
    return serials;
}

}  // namespace

std::string ConflictCaption(const std::vector<LoggerRow>& loggers) {
    return "! " + loggers.front().sn;
}

std::string ConflictTip(const std::vector<LoggerRow>& loggers) {
    return CountWord(loggers.size()) + " loggers answer at this address: " + Serials(loggers);
}

std::string ConflictHint(const std::vector<LoggerRow>& loggers) {
    return CountWord(loggers.size()) + " loggers answer at " + loggers.front().ip + " (" + Serials(loggers) +
           "): give one of them another address, then " + std::string(AgainText);
}

std::string VersionMismatchHint(const LoggerRow& logger, const std::string& reported,
                                const std::string& expected) {
    return Who(logger) + " answers with version " + reported + " after the update, not " + expected + ".";
}

std::string NoVersionAnswerTip(const LoggerRow& logger, const std::string& expected,
                               std::chrono::milliseconds wait) {
    return Who(logger) + " did not answer within " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) +
           " s after the update: whether it runs " + expected + " is unknown.";
}

std::string ReceiveFailureHint(const std::string& localAddress, std::error_code error) {
    return "Receiving at " + localAddress + " failed: " + error.message() +
           ". Check the network adapter, then " + std::string(AgainText);
}

std::string SweepFailureHint(const SweepResult& sweep) {
    return "Search sent nothing: " + SweepFailure(sweep) + ". Check the network adapter, then " +
           std::string(AgainText);
}

}  // namespace lut::text
