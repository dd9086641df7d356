#include "form/ApplicationTitle.h"

#include <cctype>

namespace lut::form {

std::string ApplicationTitle(std::string_view programPath) {
    const auto slash = programPath.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    std::string title;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        title += title.empty() ? c : static_cast<char>(std::tolower(byte));
    }
    return title;
}

}  // namespace lut::form
