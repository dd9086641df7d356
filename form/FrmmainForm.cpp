#include "form/FrmmainForm.h"

#include <algorithm>

namespace lut::form {

const Control& FindControl(std::string_view name) {
    const auto found =
        std::find_if(Controls.begin(), Controls.end(), [name](const Control* c) { return c->name == name; });
    if (found == Controls.end()) {
        throw std::out_of_range("The form has no control " + std::string(name) + ".");
    }
    return **found;
}

Rect ListPlace(Size client) {
    return {0, 0, pnl1.place.width, std::max(0, client.height - StatusBarHeight)};
}

Rect StatusBarPlace(Size client) {
    return {0, std::max(0, client.height - StatusBarHeight), client.width, StatusBarHeight};
}

Rect ProgressBarPlace(int left, int top, int right, int bottom) {
    return {left, top, right - left - ProgressBarGap, bottom - top};
}

}  // namespace lut::form
