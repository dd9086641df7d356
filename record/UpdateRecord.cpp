#include "record/UpdateRecord.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <unordered_set>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include "record/Sha256.h"
#include "update/TrimText.h"

namespace lut::record {
namespace {

using Json = nlohmann::ordered_json;

Json Optional(const auto& value) {
    return value ? Json(*value) : Json();
}

// 128 random bits as hexadecimal text: unique among the attempts of every tool that writes the record.
std::string NewAttemptIdentity() {
    std::random_device random;
    std::string identity;
    for (int i = 0; i < 4; ++i) {
        std::array<char, 9> word{};
        std::snprintf(word.data(), word.size(), "%08x", static_cast<unsigned>(random()));
        identity += word.data();
    }
    return identity;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

ImageFacts FactsOf(const std::filesystem::path& file, const ImageText& image) {
    const std::string_view hex = image ? std::string_view(*image) : std::string_view();
    return {PathText(file.filename()), hex.size() / 2, Sha256OfHexText(hex)};
}

Entry AttemptEntry(const LoggerRow& logger, const dialogue::RequestSent& request, const ImageFacts& image) {
    Entry entry;
    entry.time = UtcNow();
    entry.toolVersion = ToolVersion();
    entry.sn = logger.sn;
    entry.ip = logger.ip;
    entry.versionBefore = std::string(TrimBlankAndControl(logger.version));
    entry.file = image.file;
    entry.fileSize = image.size;
    entry.sha256 = image.sha256;
    entry.versionSent = request.version;
    entry.blocks = request.blockCount;
    entry.host = HostName();
    entry.user = UserName();
    entry.attempt = NewAttemptIdentity();
    return entry;
}

Entry CorrectionOf(const Entry& line) {
    Entry correction = line;
    correction.corrects = line.time;
    correction.time = UtcNow();
    return correction;
}

std::vector<Entry> FinalLines(const std::vector<Entry>& entries) {
    std::vector<Entry> finals;
    std::unordered_set<std::string> attempts;
    // The corrections without an identity shown so far, in finals, and whether each has stood in for
    // its corrected line already.
    std::vector<std::pair<std::size_t, bool>> corrections;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (!entry->attempt.empty()) {
            if (attempts.insert(entry->attempt).second) {
                finals.push_back(*entry);
            }
            continue;
        }
        bool replaced = false;
        for (auto& [final, spent] : corrections) {
            const Entry& later = finals[final];
            if (later.ip != entry->ip || later.sn != entry->sn) {
                continue;
            }
            // An earlier correction of the same line, or the line itself.
            replaced = entry->corrects == later.corrects || (!spent && entry->time == *later.corrects);
            if (replaced) {
                spent = spent || !entry->corrects;
                break;
            }
        }
        if (!replaced) {
            if (entry->corrects) {
                corrections.emplace_back(finals.size(), false);
            }
            finals.push_back(*entry);
        }
    }
    return finals;
}

std::string ToLine(const Entry& e) {
    Json line{
        {"time", e.time},
        {"toolVersion", e.toolVersion},
        {"sn", e.sn},
        {"ip", e.ip},
        {"versionBefore", e.versionBefore},
        {"file", e.file},
        {"fileSize", e.fileSize},
        {"sha256", e.sha256},
        {"versionSent", e.versionSent},
        {"blocks", e.blocks},
        {"blocksSent", e.blocksSent},
        {"blocksResent", e.blocksResent},
        {"outcome", e.outcome},
        {"message", e.message},
        {"seconds", e.seconds},
        {"host", e.host},
        {"user", e.user},
        {"versionAfter", Optional(e.versionAfter)},
        {"verified", Optional(e.verified)},
    };
    if (!e.attempt.empty()) {
        line["attempt"] = e.attempt;
    }
    if (e.corrects) {
        line["corrects"] = *e.corrects;
    }
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<Entry> FromLine(const std::string& line) {
    const Json json = Json::parse(line, nullptr, false);
    if (!json.is_object()) {
        return std::nullopt;
    }
    try {
        Entry e;
        json.at("time").get_to(e.time);
        json.at("sn").get_to(e.sn);
        json.at("ip").get_to(e.ip);
        json.at("outcome").get_to(e.outcome);
        e.toolVersion = json.value("toolVersion", "");
        e.versionBefore = json.value("versionBefore", "");
        e.file = json.value("file", "");
        e.fileSize = json.value("fileSize", std::uint64_t{0});
        e.sha256 = json.value("sha256", "");
        e.versionSent = json.value("versionSent", "");
        e.blocks = json.value("blocks", std::int64_t{0});
        e.blocksSent = json.value("blocksSent", std::int64_t{0});
        e.blocksResent = json.value("blocksResent", std::int64_t{0});
        e.message = json.value("message", "");
        e.seconds = json.value("seconds", 0.0);
        e.host = json.value("host", "");
        e.user = json.value("user", "");
        e.attempt = json.value("attempt", "");
        if (json.contains("versionAfter") && !json["versionAfter"].is_null()) {
            e.versionAfter = json["versionAfter"].get<std::string>();
        }
        if (json.contains("verified") && !json["verified"].is_null()) {
            e.verified = json["verified"].get<bool>();
        }
        if (json.contains("corrects")) {
            e.corrects = json["corrects"].get<std::string>();
        }
        return e;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

std::string UtcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string ToolVersion() {
    return LUT_TOOL_VERSION;
}

std::string HostName() {
#ifdef _WIN32
    return Environment("COMPUTERNAME");
#else
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
#endif
}

std::string UserName() {
#ifdef _WIN32
    return Environment("USERNAME");
#else
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) {
        return entry->pw_name;
    }
    return Environment("USER");
#endif
}

}  // namespace lut::record
