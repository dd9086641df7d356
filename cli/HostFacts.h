// Facts of the machine the tool runs on that only the system can tell, for the support report.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lut::cli {

// What the command printed on its standard output; nothing when it could not run or ended with a failure.
// On Linux the system folders (/usr/sbin, /sbin) are searched too, where the firewalls' commands live.
std::optional<std::string> CommandOutput(std::string_view command);

// What decides whether the tool may bind its ports below 1024.
struct BindPrivilege {
    bool needed = false;            // some port of the tool lies below the first unprivileged one
    bool root = false;              // this process runs as root
    int unprivilegedPortStart = 0;  // Linux: net.ipv4.ip_unprivileged_port_start; Windows: 0, none needed
    // cap_net_bind_service of this process, and of the program file (which every user gets): "yes", "no",
    // "unknown", or "not-needed" where no port needs a privilege (Windows).
    std::string processCapability{};
    std::string fileCapability{};
    std::string nosuidMount{};  // the mount point when the program's file system ignores capabilities
};

// The facts for the program file at `programPath` and a tool whose lowest port is `lowestPort`.
BindPrivilege BindPrivilegeFacts(const std::string& programPath, unsigned lowestPort);

}  // namespace lut::cli
