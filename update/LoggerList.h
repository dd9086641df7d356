// Search: the sweep of the /24 subnet of the local address, and the logger list built from the answers.
#pragma once

#include <string>
#include <string_view>

#include "link/Endpoint.h"
#include "update/ProtocolState.h"
#include "update/WindowOperations.h"

namespace lut {

// The text of the local address up to and including its third full stop (fewer dots: up to the last).
std::string SubnetPrefix(std::string_view localAddress);

class LoggerList {
public:
    LoggerList(WindowOperations& window, AtomicProtocolState& protocolState, Endpoint& discoverySocket,
               std::uint16_t discoveryPort);

    // Empties the list, sets "SS" and sends the probe to hosts 1 to 254 of the subnet, without waiting.
    void btnsearchClick();

    // One discovery frame (ESC ... ENQ) and the dotted address of its sender: taken in only while "SS".
    void HandleDiscoveryFrame(const std::string& frame, const std::string& sender);

private:
    WindowOperations& window_;
    AtomicProtocolState& protocolState_;
    Endpoint& discoverySocket_;
    std::uint16_t discoveryPort_;
};

}  // namespace lut
