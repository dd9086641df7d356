#include "link/TransientErrors.h"

namespace lut {

bool IsTransientReceiveError(std::error_code error) {
    for (const std::errc transient :
         {std::errc::connection_reset, std::errc::connection_refused, std::errc::network_reset,
          std::errc::host_unreachable, std::errc::network_unreachable, std::errc::message_size}) {
        if (error == transient) {
            return true;
        }
    }
    return false;
}

std::error_code SkipTransientErrors(const std::function<std::error_code()>& receiveOnce,
                                    std::size_t& skipped) {
    for (std::size_t attempt = 0; attempt < MaxSkippedPerReceive; ++attempt) {
        const std::error_code error = receiveOnce();
        if (!IsTransientReceiveError(error)) {
            return error;
        }
        ++skipped;
    }
    return std::make_error_code(std::errc::operation_would_block);
}

}  // namespace lut
