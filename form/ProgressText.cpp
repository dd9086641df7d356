#include "form/ProgressText.h"

#include "update/dialogue/TimeLeft.h"

namespace lut::form {

std::string ProgressText(int sent, int total) {
    if (sent >= total) {
        return std::to_string(total) + " of " + std::to_string(total) + " blocks sent";
    }
    std::string text = std::to_string(sent) + " of " + std::to_string(total) + " blocks, ";
    text += TimeLeft(total - sent);
    text += " left";
    return text;
}

}  // namespace lut::form
