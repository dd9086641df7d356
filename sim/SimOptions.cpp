#include "sim/SimOptions.h"

#include <arpa/inet.h>

#include <cstdio>
#include <stdexcept>

namespace lut::sim {

namespace {

std::optional<std::uint32_t> ParseAddress(std::string_view address) {
    const std::string text(address);
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return std::nullopt;
    }
    return ntohl(parsed.s_addr);
}

std::string AddressText(std::uint32_t address) {
    in_addr value{};
    value.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

// With anyAddress every dotted IPv4 address passes; otherwise only those of 127.0.0.0/8.
void CheckAddress(std::string_view address, bool anyAddress) {
    if (anyAddress && ParseAddress(address)) {
        return;
    }
    if (const std::string error = LoopbackError(address); !error.empty()) {
        throw std::invalid_argument(error);
    }
}

// ESC and ENQ delimit frames and a NUL ends the received text, so none of them can travel inside one.
void CheckFrameText(std::string_view what, std::string_view text) {
    if (text.find_first_of(std::string_view("\x1B\x05\x00", 3)) != std::string_view::npos) {
        throw std::invalid_argument(std::string(what) + " '" + std::string(text) +
                                    "' holds an ESC, ENQ or NUL byte, which cannot travel inside a frame");
    }
}

}  // namespace

std::string DefaultSerial(std::size_t index) {
    char text[16];
    std::snprintf(text, sizeof text, "SN%04zu", index + 1);
    return text;
}

std::string DefaultVersion(std::size_t index) {
    char text[16];
    std::snprintf(text, sizeof text, "S1.%02zu", index % 100);
    return text;
}

std::string LoopbackError(std::string_view address) {
    const std::optional<std::uint32_t> parsed = ParseAddress(address);
    if (!parsed) {
        std::string text = "'";
        text += address;
        text += "' is not a dotted IPv4 address";
        return text;
    }
    if ((*parsed >> 24) != 127) {
        return "refusing to bind " + std::string(address) +
               ": simulated loggers bind loopback addresses only (127.0.0.0/8)";
    }
    return {};
}

std::vector<LoggerIdentity> LoggersFromBase(std::string_view base, std::size_t count) {
    if (count == 0 || count > MaxLoggers) {
        throw std::invalid_argument("the logger count must lie between 1 and " + std::to_string(MaxLoggers));
    }
    CheckAddress(base, false);
    const std::uint32_t first = *ParseAddress(base);
    std::vector<LoggerIdentity> loggers;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t address = std::uint64_t{first} + i;
        if ((address >> 24) != 127) {
            throw std::invalid_argument(std::to_string(count) + " loggers from " + std::string(base) +
                                        " run past the end of 127.0.0.0/8");
        }
        loggers.push_back(
            {AddressText(static_cast<std::uint32_t>(address)), DefaultSerial(i), DefaultVersion(i)});
    }
    return loggers;
}

LoggerIdentity LoggerFromOption(std::string_view option, std::size_t index, bool anyAddress) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    for (std::size_t comma = option.find(','); comma != std::string_view::npos;
         comma = option.find(',', from)) {
        fields.push_back(option.substr(from, comma - from));
        from = comma + 1;
    }
    fields.push_back(option.substr(from));
    if (fields.size() > 3) {
        throw std::invalid_argument("--logger '" + std::string(option) +
                                    "' has more than three fields (ADDRESS[,SERIAL[,VERSION]])");
    }
    CheckAddress(fields[0], anyAddress);
    LoggerIdentity logger{std::string(fields[0]), DefaultSerial(index), DefaultVersion(index)};
    if (fields.size() > 1 && !fields[1].empty()) {
        logger.serial = fields[1];
    }
    if (fields.size() > 2 && !fields[2].empty()) {
        logger.version = fields[2];
    }
    return logger;
}

void CheckOptions(const SimOptions& options) {
    std::set<std::string> addresses;
    for (const LoggerIdentity& logger : options.loggers) {
        CheckAddress(logger.address, options.anyAddress);
        if (!addresses.insert(logger.address).second) {
            throw std::invalid_argument("two loggers share the address " + logger.address);
        }
        CheckFrameText("the serial number", logger.serial);
        CheckFrameText("the version", logger.version);
    }
    if (options.behaviour.refusal) {
        CheckFrameText("the --refuse payload", *options.behaviour.refusal);
    }
    if (options.behaviour.failAnswer) {
        CheckFrameText("the --fail-answer payload", *options.behaviour.failAnswer);
    }
}

}  // namespace lut::sim
