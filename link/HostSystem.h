// The system the tool runs on, as a support report and a capture's header name it.
#pragma once

#include <string>

namespace lut {

// The system's name, release and processor, such as "Linux 6.1.0-18-amd64 x86_64 (Debian GNU/Linux 12)"
// or "Windows 10.0.19045".
std::string SystemDescription();

}  // namespace lut
