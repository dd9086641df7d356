// The caption of the application's own boxes (the plain message and the error display).
#pragma once

#include <string>
#include <string_view>

namespace lut::form {

// The program file's name without folder ('/' or '\'), up to its first full stop, its first letter as it is
// and every later letter lower case: "/opt/lut/logger-update-tool" gives "logger-update-tool", "LUT.EXE"
// "Lut".
std::string ApplicationTitle(std::string_view programPath);

}  // namespace lut::form
