// The caption of the application's own boxes (the plain message and the error display).
#pragma once

#include <string>
#include <string_view>

namespace lut::form {

// The program file's name without folder ('/' or '\'), up to its first full stop, first letter upper case
// and every later letter lower case: "/opt/lut/logger-update-tool" gives "Logger-update-tool".
std::string ApplicationTitle(std::string_view programPath);

}  // namespace lut::form
