#include "cli/FoundLoggers.h"

#include <algorithm>
#include <iomanip>

namespace lut::cli {

void PrintFoundTable(std::ostream& out, const std::vector<FoundLogger>& found, bool showVia) {
    if (found.empty()) {
        out << "No logger answered.\n";
        return;
    }
    const bool flagged =
        std::any_of(found.begin(), found.end(), [](const FoundLogger& f) { return f.conflict; });
    std::vector<std::vector<std::string>> cells{{"SN", "IP", "Version"}};
    for (const FoundLogger& f : found) {
        cells.push_back({Printable(f.logger.sn), f.logger.ip, Printable(f.logger.version)});
    }
    if (flagged) {
        cells[0].insert(cells[0].begin(), "!");
        for (std::size_t i = 0; i < found.size(); ++i) {
            cells[i + 1].insert(cells[i + 1].begin(), found[i].conflict ? "!" : "");
        }
    }
    if (showVia) {
        cells[0].emplace_back("Via");
        for (std::size_t i = 0; i < found.size(); ++i) {
            cells[i + 1].push_back(found[i].via);
        }
    }
    std::vector<std::size_t> width(cells[0].size(), 0);
    for (const auto& line : cells) {
        for (std::size_t column = 0; column < width.size(); ++column) {
            width[column] = std::max(width[column], line[column].size());
        }
    }
    for (const auto& line : cells) {
        for (std::size_t column = 0; column + 1 < line.size(); ++column) {
            out << std::left << std::setw(static_cast<int>(width[column])) << line[column] << "  ";
        }
        out << line.back() << '\n';
    }
}

Json FoundJson(const std::vector<FoundLogger>& found, bool showVia) {
    Json list = Json::array();
    for (const FoundLogger& f : found) {
        Json row{{"sn", f.logger.sn},
                 {"ip", f.logger.ip},
                 {"version", f.logger.version},
                 {"conflict", f.conflict}};
        if (showVia) {
            row["via"] = f.via;
        }
        list.push_back(std::move(row));
    }
    return list;
}

namespace {

// "address conflict at 192.0.2.7: loggers 1001 and 1002 answer from it"
std::string ConflictText(const std::vector<LoggerRow>& loggers) {
    std::string text = "address conflict at " + loggers.front().ip + ": loggers";
    const char* separator = " ";
    for (const LoggerRow& logger : loggers) {
        text += separator + Printable(logger.sn);
        separator = " and ";
    }
    return text + " answer from it";
}

}  // namespace

void WarnConflicts(std::ostream& err, const std::vector<FoundLogger>& found) {
    for (const std::string& address : ConflictingAddresses(found)) {
        err << "Warning: " << ConflictText(LoggersAt(found, address))
            << ". Give each logger its own address; update refuses this one until then.\n";
    }
}

std::vector<LoggerRow> LoggersAt(const std::vector<FoundLogger>& found, const std::string& address) {
    std::vector<LoggerRow> loggers;
    for (const FoundLogger& f : found) {
        if (f.logger.ip == address) {
            loggers.push_back(f.logger);
        }
    }
    return loggers;
}

std::string ConflictOutcome(const std::vector<LoggerRow>& loggers) {
    std::string text = ConflictText(loggers);
    text[0] = 'A';
    return text + "; not updated, as its blocks would reach an unknown one of them.";
}

std::vector<std::string> ConflictingAddresses(const std::vector<FoundLogger>& found) {
    std::vector<std::string> addresses;
    for (const FoundLogger& f : found) {
        if (f.conflict && std::find(addresses.begin(), addresses.end(), f.logger.ip) == addresses.end()) {
            addresses.push_back(f.logger.ip);
        }
    }
    return addresses;
}

}  // namespace lut::cli
