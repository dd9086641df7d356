// Who may bind a UDP port and who holds it: what a technician needs when an endpoint will not open.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "link/Endpoint.h"

namespace lut {

// A process that has a UDP socket bound to a port.
struct PortHolder {
    long pid = 0;
    std::string program;  // its full path (else its name); empty when the system does not tell
};

// Binds the address and port and lets go at once: empty when an endpoint could open there now, else the
// system's reason.
std::error_code TryBind(const BindRecord& bind);

// A process holding the UDP port on any address; nothing when none does or the system does not tell
// (another user's processes stay hidden from an ordinary user).
std::optional<PortHolder> UdpPortHolder(std::uint16_t port);

// Whether this process holds the capability cap_net_bind_service, which lets it bind ports below 1024
// (root holds it too); nothing where such ports need no privilege (Windows).
std::optional<bool> HoldsBindCapability();

// The file of the running program, for the command that grants it a capability; empty when unknown.
std::string ProgramPath();

}  // namespace lut
