// Facts of the machine the tool runs on that only the system can tell, for the support report.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lut::cli {

// The system's name, release and processor, such as "Linux 6.1.0-18-amd64 x86_64 (Debian GNU/Linux 12)"
// or "Windows 10.0.19045".
std::string SystemDescription();

#ifdef _WIN32
// What the command printed on its standard output; nothing when it could not run or ended with a failure.
std::optional<std::string> CommandOutput(std::string_view command);
#endif

}  // namespace lut::cli
