#include "win32/Options.h"

#include <charconv>

namespace lut::win32 {

namespace {

bool IsIpv4(const std::string& text) {
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at == end || *at != '.') {
                return false;
            }
            ++at;
        }
        unsigned value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || next == at || next - at > 3 || value > 255) {
            return false;
        }
        at = next;
    }
    return at == end;
}

}  // namespace

Options ParseOptions(std::span<const std::string> arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h" || name == "/?") {
            options.help = true;
            continue;
        }
        if (name == "--capture") {
            if (i + 1 == arguments.size()) {
                throw std::invalid_argument(name + " needs a file name.");
            }
            options.capture = arguments[++i];
            continue;
        }
        std::optional<std::string>* target = name == "--bind"            ? &options.bind
                                             : name == "--local-address" ? &options.localAddress
                                                                         : nullptr;
        if (target == nullptr) {
            throw std::invalid_argument("Unknown option: " + name);
        }
        if (i + 1 == arguments.size() || !IsIpv4(arguments[i + 1])) {
            throw std::invalid_argument(name + " needs an IPv4 address, such as 192.168.1.20.");
        }
        *target = arguments[++i];
    }
    return options;
}

}  // namespace lut::win32
