#include "link/PortAccess.h"

#include "link/SocketApi.h"

#ifdef _WIN32
#include <iphlpapi.h>

#include <memory>
#include <vector>
#else
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#endif

namespace lut {

std::error_code TryBind(const BindRecord& bind) {
    Endpoint endpoint;
    return endpoint.Open(bind);
}

#ifdef _WIN32

namespace {

std::string Narrow(const wchar_t* wide) {
    char text[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text - 1, nullptr, nullptr);
    return text;
}

std::string ProcessProgram(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &length) != 0;
    CloseHandle(process);
    if (!named) {
        return {};
    }
    return Narrow(path);
}

}  // namespace

std::optional<PortHolder> UdpPortHolder(std::uint16_t port) {
    ULONG size = 0;
    GetExtendedUdpTable(nullptr, &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto storage = std::make_unique<char[]>(size);
        auto* table = reinterpret_cast<MIB_UDPTABLE_OWNER_PID*>(storage.get());
        const DWORD status = GetExtendedUdpTable(table, &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
        if (status == ERROR_INSUFFICIENT_BUFFER) {
            continue;
        }
        if (status != NO_ERROR) {
            return std::nullopt;
        }
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_UDPROW_OWNER_PID& row = table->table[i];
            // Process 0 holds nothing; Wine reports it for every socket, since it does not know.
            if (ntohs(static_cast<u_short>(row.dwLocalPort)) == port && row.dwOwningPid != 0) {
                return PortHolder{static_cast<long>(row.dwOwningPid), ProcessProgram(row.dwOwningPid)};
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<bool> HoldsBindCapability() {
    return std::nullopt;
}

std::string ProgramPath() {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) {
        return {};
    }
    return Narrow(path);
}

#else

namespace {

constexpr int NetBindServiceBit = 10;  // CAP_NET_BIND_SERVICE

// The socket inodes bound to the port, from the kernel's table of UDP sockets of this network namespace:
// "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ...", addresses as HEX:HEX.
std::set<std::string> SocketInodes(std::uint16_t port) {
    std::set<std::string> inodes;
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode)) {
            continue;
        }
        const auto colon = local.find(':');
        if (colon != std::string::npos && std::stoul(local.substr(colon + 1), nullptr, 16) == port) {
            inodes.insert(inode);
        }
    }
    return inodes;
}

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::optional<PortHolder> UdpPortHolder(std::uint16_t port) {
    const std::set<std::string> inodes = SocketInodes(port);
    if (inodes.empty()) {
        return std::nullopt;
    }
    namespace fs = std::filesystem;
    std::error_code ignored;  // processes end, and other users' descriptors are closed to us
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ignored)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        for (const fs::directory_entry& descriptor : fs::directory_iterator(process.path() / "fd", ignored)) {
            const std::string target = fs::read_symlink(descriptor.path(), ignored).string();
            if (target.starts_with("socket:[") && inodes.contains(target.substr(8, target.size() - 9))) {
                // The program's full path; its name alone (cut at 15 characters) when the link is closed to
                // us.
                const fs::path program = fs::read_symlink(process.path() / "exe", ignored);
                return PortHolder{std::stol(pid),
                                  program.empty() ? FirstLine(process.path() / "comm") : program.string()};
            }
        }
    }
    return std::nullopt;
}

std::optional<bool> HoldsBindCapability() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("CapEff:")) {
            const unsigned long long effective = std::stoull(line.substr(7), nullptr, 16);
            return ((effective >> NetBindServiceBit) & 1U) != 0;
        }
    }
    return std::nullopt;
}

std::string ProgramPath() {
    std::error_code unknown;
    return std::filesystem::read_symlink("/proc/self/exe", unknown).string();
}

#endif

}  // namespace lut
