// What became of the probes of one sweep: how many the system took and, when it refused some, why.
#pragma once

#include <string>
#include <system_error>

namespace lut {

struct SweepResult {
    std::string from;  // the local address whose /24 subnet was swept
    int probes = 0;
    int failed = 0;              // probes the system refused to send
    std::error_code firstError;  // why the first refused probe was refused

    int Sent() const { return probes - failed; }
};

// For the technician, empty when every probe went out: "0 of 254 probes could be sent from 192.0.2.1:
// Network is unreachable" when none did, "3 of 254 probes could not be sent from ...: ..." when some
// did not.
std::string SweepFailure(const SweepResult& sweep);

}  // namespace lut
