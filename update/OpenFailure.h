// Why an endpoint did not open, in one line for the technician: the system's reason and, where there is
// one, what to do about it (free the port, or grant the privilege for a port below 1024).
#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "link/Endpoint.h"

namespace lut {

// "<endpoint> endpoint <address>:<port>: <reason>", then the remedy; `program` is the file that the
// privilege is granted to.
std::string OpenFailure(std::string_view endpoint, const BindRecord& bind, std::error_code why,
                        std::string_view program);

}  // namespace lut
