#include "form/ProgressText.h"

#include <chrono>
#include <cstdio>

#include "link/uPubpro.h"

namespace lut::form {

std::string ProgressText(int sent, int total) {
    if (sent >= total) {
        return std::to_string(total) + " of " + std::to_string(total) + " blocks sent";
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::seconds>((total - sent) * BlockDelay + FinishDelay).count();
    char seconds[8];
    std::snprintf(seconds, sizeof seconds, "%02d", static_cast<int>(left % 60));
    return std::to_string(sent) + " of " + std::to_string(total) + " blocks, " + std::to_string(left / 60) +
           ":" + seconds + " left";
}

}  // namespace lut::form
