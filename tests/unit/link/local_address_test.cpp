#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "TestPlatform.h"
#include "link/LocalAddress.h"

namespace lut {
namespace {

using test::IsDottedIPv4;

TEST(MachineAddresses, ListsTheLoopbackInterfaceWithItsName) {
    const auto addresses = MachineAddresses();
    const bool hasLoopback = std::any_of(addresses.begin(), addresses.end(), [](const InterfaceAddress& a) {
        return a.address == "127.0.0.1" && !a.interfaceName.empty();
    });
    EXPECT_TRUE(hasLoopback);
    // The support report's list: loopback with its prefix, and up.
    const auto adapters = Ipv4Adapters();
    EXPECT_TRUE(std::any_of(adapters.begin(), adapters.end(), [](const AdapterAddress& a) {
        return a.address == "127.0.0.1" && a.prefixLength == 8 && a.up;
    }));
}

TEST(LocalAddressText, PrefersAnInterfaceAddressOverAHostNameThatMeansLoopback) {
    const std::string local = LocalAddressText();
    ASSERT_TRUE(IsDottedIPv4(local)) << local;
    const auto addresses = MachineAddresses();
    const auto firstOutside = std::find_if(addresses.begin(), addresses.end(), [](const InterfaceAddress& a) {
        return !a.address.starts_with("127.");
    });
    if (firstOutside != addresses.end()) {
        EXPECT_FALSE(local.starts_with("127."))
            << "an interface other than loopback is up: " << firstOutside->address;
    }
}

}  // namespace
}  // namespace lut
