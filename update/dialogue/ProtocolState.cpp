#include "update/dialogue/ProtocolState.h"

namespace lut {

std::string_view ToText(Protocol value) {
    switch (value) {
        case Protocol::Idle:
            return "";
        case Protocol::Search:
            return "SS";
        case Protocol::Request:
            return "LU";
        case Protocol::Update:
            return "UD";
        case Protocol::End:
            return "EN";
    }
    return "";
}

}  // namespace lut
