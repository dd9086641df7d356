// history: the update record, newest first, as a table or as JSON.
#include <algorithm>
#include <iomanip>
#include <vector>

#include "cli/Commands.h"
#include "cli/ExitCode.h"
#include "cli/Output.h"
#include "record/RecordFile.h"

namespace lut::cli {
namespace {

Json ToJson(const record::Entry& e) {
    return Json::parse(record::ToLine(e), nullptr, false);
}

std::string VerifiedText(const record::Entry& e) {
    if (!e.verified) {
        return "-";
    }
    return *e.verified ? "verified" : "not verified";
}

}  // namespace

int RunHistory(const HistoryOptions& options, const RunContext& context) {
    const std::optional<std::filesystem::path> path = record::RecordPath();
    if (!path) {
        context.err << "The update record is off (" << record::RecordVariable
                    << "=off) or has no place (no home folder).\n";
        return ToInt(ExitCode::Complete);
    }
    record::Contents contents = record::Read(*path);
    for (const std::string& warning : contents.warnings) {
        context.err << "logger-update: warning: " << warning << '\n';
    }
    // Newest first, each attempt once, as it ended: a correction stands in place of the line it corrects.
    std::vector<record::Entry> shown;
    for (record::Entry& entry : record::FinalLines(contents.entries)) {
        if (!options.logger || entry.ip == *options.logger || entry.sn == *options.logger) {
            shown.push_back(std::move(entry));
        }
    }

    if (options.json) {
        Json list = Json::array();
        for (const record::Entry& entry : shown) {
            list.push_back(ToJson(entry));
        }
        context.out << ToJsonText(list) << '\n';
        return ToInt(ExitCode::Complete);
    }
    if (shown.empty()) {
        context.out << "No update recorded" << (options.logger ? " for " + *options.logger : "") << " in "
                    << path->string() << ".\n";
        return ToInt(ExitCode::Complete);
    }
    const std::vector<std::string> header{"Time (UTC)", "SN",      "IP",       "Before", "Sent",
                                          "After",      "Outcome", "Verified", "File"};
    std::vector<std::vector<std::string>> rows{header};
    for (const record::Entry& e : shown) {
        rows.push_back({e.time, Printable(e.sn), e.ip, Printable(e.versionBefore), Printable(e.versionSent),
                        Printable(e.versionAfter.value_or("-")), e.outcome, VerifiedText(e),
                        Printable(e.file)});
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool last = i + 1 == row.size();
            context.out << std::left << std::setw(last ? 0 : static_cast<int>(widths[i] + 2)) << row[i];
        }
        context.out << '\n';
    }
    return ToInt(ExitCode::Complete);
}

}  // namespace lut::cli
