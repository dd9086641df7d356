#include "update/search/SweepResult.h"

namespace lut {

std::string SweepFailure(const SweepResult& sweep) {
    if (sweep.failed == 0) {
        return {};
    }
    const std::string of = " of " + std::to_string(sweep.probes) + " probes could ";
    const std::string where = " sent from " + sweep.from + ": " + sweep.firstError.message();
    if (sweep.Sent() == 0) {
        return "0" + of + "be" + where;
    }
    return std::to_string(sweep.failed) + of + "not be" + where;
}

}  // namespace lut
