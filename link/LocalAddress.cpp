#include "link/LocalAddress.h"

#include <optional>
#include <stdexcept>

#include "link/SocketApi.h"

namespace lut {

namespace {

bool IsLoopback(const std::string& dotted) {
    return dotted.starts_with("127.");
}

// Holds one start of the socket library for as long as the host name is looked up.
class SocketLibraryUse {
  public:
    SocketLibraryUse() : started_(!StartSocketLibrary()) {}
    ~SocketLibraryUse() {
        if (started_) {
            ReleaseSocketLibrary();
        }
    }
    SocketLibraryUse(const SocketLibraryUse&) = delete;
    SocketLibraryUse& operator=(const SocketLibraryUse&) = delete;

  private:
    bool started_;
};

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

std::vector<std::string> HostNameAddresses(const std::string& hostName) {
    std::vector<std::string> addresses;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (hostName.empty() || getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0) {
        return addresses;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
            addresses.emplace_back(text);
        }
    }
    freeaddrinfo(found);
    return addresses;
}

std::optional<std::string> FirstNotLoopback(const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        if (!IsLoopback(address)) {
            return address;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string LocalAddressText() {
    const SocketLibraryUse library;
    const std::string hostName = HostName();
    const std::vector<std::string> hostAddresses = HostNameAddresses(hostName);
    if (auto address = FirstNotLoopback(hostAddresses)) {
        return *address;
    }
    // A host name that resolves to loopback only (common on Linux) says nothing about the subnet; an
    // interface that is up does.
    for (const InterfaceAddress& entry : MachineAddresses()) {
        if (!IsLoopback(entry.address)) {
            return entry.address;
        }
    }
    if (!hostAddresses.empty()) {
        return hostAddresses.front();
    }
    throw std::runtime_error("Cannot find this computer's IPv4 address: the host name \"" + hostName +
                             "\" has no IPv4 address and no network interface is up.");
}

std::vector<InterfaceAddress> MachineAddresses() {
    std::vector<InterfaceAddress> result;
    for (const AdapterAddress& adapter : AdapterAddresses()) {
        if (adapter.up) {
            result.push_back({adapter.name, adapter.address});
        }
    }
    return result;
}

std::vector<AdapterAddress> Ipv4Adapters() {
    return AdapterAddresses();
}

std::vector<InterfaceAddress> SearchableAdapters() {
    std::vector<InterfaceAddress> adapters;
    for (InterfaceAddress& entry : MachineAddresses()) {
        if (!IsLoopback(entry.address)) {
            adapters.push_back(std::move(entry));
        }
    }
    return adapters;
}

}  // namespace lut
