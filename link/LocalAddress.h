// The workstation's own IPv4 address, whose /24 subnet Search sweeps.
#pragma once

#include <string>
#include <vector>

namespace lut {

struct InterfaceAddress {
    std::string interfaceName;
    std::string address;  // dotted decimal
};

// One IPv4 address of an interface, as a support report lists it.
struct AdapterAddress {
    std::string name;
    std::string address;  // dotted decimal
    int prefixLength = 0;
    bool up = false;
};

// The first IPv4 address of the host name that is not loopback; else the first IPv4 address of an
// interface that is up and not loopback; else the host name's first IPv4 address. Throws
// std::runtime_error with a readable text when the host name cannot be resolved to any IPv4 address.
std::string LocalAddressText();

// Every IPv4 address of the machine's interfaces that are up, loopback included, in interface order.
std::vector<InterfaceAddress> MachineAddresses();

// Every IPv4 address of every interface, up or down, in interface order.
std::vector<AdapterAddress> Ipv4Adapters();

// The IPv4 addresses of the adapters that are up and not loopback, in interface order: what a search of
// every adapter sweeps.
std::vector<InterfaceAddress> SearchableAdapters();

}  // namespace lut
