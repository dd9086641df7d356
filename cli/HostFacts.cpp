#include "cli/HostFacts.h"

#ifdef _WIN32
#include <array>
#include <cstdio>
#else
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#endif

#include "link/PortAccess.h"

namespace lut::cli {

#ifdef _WIN32

std::optional<std::string> CommandOutput(std::string_view command) {
    const std::string line = std::string(command) + " 2>NUL";
    FILE* pipe = _popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string output;
    std::array<char, 4096> chunk{};
    while (const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), pipe)) {
        output.append(chunk.data(), count);
    }
    return _pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

BindPrivilege BindPrivilegeFacts(const std::string&, unsigned) {
    // Windows lets any user bind any port; its firewall decides what arrives.
    return {false, false, 0, "not-needed", "not-needed", ""};
}

#else

std::optional<std::string> CommandOutput(std::string_view command) {
    const std::string line = "PATH=\"$PATH:/usr/sbin:/sbin\" " + std::string(command) + " 2>/dev/null";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string output;
    char chunk[4096];
    while (const std::size_t count = std::fread(chunk, 1, sizeof chunk, pipe)) {
        output.append(chunk, count);
    }
    return pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

namespace {

constexpr unsigned NetBindServiceBit = 10;  // CAP_NET_BIND_SERVICE

// The file capability set that exec gives the program: "security.capability" holds a little-endian
// header (revision, and bit 0: raise the permitted set into the effective one) and the permitted set's
// low 32 bits. The program never raises a capability itself, so it needs both: "=+ep".
std::string FileCapability(const std::string& path) {
    std::uint8_t data[24] = {};
    const ssize_t size = getxattr(path.c_str(), "security.capability", data, sizeof data);
    if (size < 0) {
        return errno == ENODATA ? "no" : "unknown";
    }
    if (size < 8) {
        return "unknown";
    }
    const auto little = [&data](int at) {
        return std::uint32_t{data[at]} | std::uint32_t{data[at + 1]} << 8 |
               std::uint32_t{data[at + 2]} << 16 | std::uint32_t{data[at + 3]} << 24;
    };
    const bool effective = (little(0) & 1U) != 0;
    const bool permitted = ((little(4) >> NetBindServiceBit) & 1U) != 0;
    return effective && permitted ? "yes" : "no";
}

// The mount point of the file system that holds the path, when it is mounted nosuid (the system then
// ignores file capabilities); empty otherwise. /proc/self/mountinfo: "id parent major:minor root mount-point
// options ...", the last mount over a path winning.
std::string NosuidMount(const std::string& path) {
    std::error_code ignored;
    const std::string file = std::filesystem::canonical(path, ignored).string();
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    std::string point;
    bool nosuid = false;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint, options;
        if (!(fields >> id >> parent >> device >> root >> mountPoint >> options)) {
            continue;
        }
        const bool holds =
            file.starts_with(mountPoint) &&
            (mountPoint == "/" || file.size() == mountPoint.size() || file[mountPoint.size()] == '/');
        if (holds && mountPoint.size() >= point.size()) {
            point = mountPoint;
            nosuid = ("," + options + ",").find(",nosuid,") != std::string::npos;
        }
    }
    return nosuid ? point : std::string();
}

int UnprivilegedPortStart() {
    std::ifstream setting("/proc/sys/net/ipv4/ip_unprivileged_port_start");
    int start = 1024;
    setting >> start;
    return start;
}

}  // namespace

BindPrivilege BindPrivilegeFacts(const std::string& programPath, unsigned lowestPort) {
    BindPrivilege facts;
    facts.unprivilegedPortStart = UnprivilegedPortStart();
    facts.needed = lowestPort < static_cast<unsigned>(facts.unprivilegedPortStart);
    facts.root = geteuid() == 0;
    const auto process = HoldsBindCapability();
    facts.processCapability = !process ? "unknown" : *process ? "yes" : "no";
    facts.fileCapability = FileCapability(programPath);
    facts.nosuidMount = NosuidMount(programPath);
    return facts;
}

#endif

}  // namespace lut::cli
