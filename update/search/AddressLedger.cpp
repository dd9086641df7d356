#include "update/search/AddressLedger.h"

#include <algorithm>

namespace lut {

void AddressLedger::Note(const LoggerRow& answer) {
    auto& heard = answers_[answer.ip];
    const bool known = std::any_of(heard.begin(), heard.end(),
                                   [&answer](const LoggerRow& logger) { return logger.sn == answer.sn; });
    if (!known) {
        heard.push_back(answer);
    }
}

const std::vector<LoggerRow>& AddressLedger::At(const std::string& address) const {
    static const std::vector<LoggerRow> none;
    const auto found = answers_.find(address);
    return found == answers_.end() ? none : found->second;
}

}  // namespace lut
