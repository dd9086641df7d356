#include "cli/Output.h"

namespace lut::cli {

std::string ToJsonText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace lut::cli
