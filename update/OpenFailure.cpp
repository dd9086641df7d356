#include "update/OpenFailure.h"

namespace lut {

std::string OpenFailure(std::string_view endpoint, const BindRecord& bind, std::error_code why,
                        std::string_view program) {
    std::string line = std::string(endpoint) + " endpoint " + bind.address + ":" + std::to_string(bind.port) +
                       ": " + why.message();
    if (why == std::errc::permission_denied && bind.port < 1024) {
        line += " (port " + std::to_string(bind.port) +
                " needs root, or the capability given once by: sudo setcap cap_net_bind_service=+ep " +
                std::string(program) + ")";
    } else if (why == std::errc::address_in_use) {
        line += " (another program holds the port: the window, a second logger-update, or a server)";
    }
    return line;
}

}  // namespace lut
