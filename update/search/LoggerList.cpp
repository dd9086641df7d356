#include "update/search/LoggerList.h"

#include <algorithm>

#include "link/uPubpro.h"
#include "update/FieldTexts.h"
#include "update/TrimText.h"

namespace lut {

std::string SubnetPrefix(std::string_view localAddress) {
    std::size_t length = 0;
    for (int dot = 0; dot < 3; ++dot) {
        const std::size_t found = localAddress.find('.', length);
        if (found != std::string_view::npos) {
            length = found + 1;
        }
    }
    return std::string(localAddress.substr(0, length));
}

LoggerList::LoggerList(WindowOperations& window, AtomicProtocolState& protocolState,
                       Endpoint& discoverySocket, std::uint16_t discoveryPort)
    : window_(window),
      protocolState_(protocolState),
      discoverySocket_(discoverySocket),
      discoveryPort_(discoveryPort) {}

void LoggerList::Clear() {
    rows_.clear();
    answers_.Clear();
    window_.ClearList();
}

SweepResult LoggerList::btnsearchClick() {
    Clear();
    protocolState_.Store(Protocol::Search);
    return SendSweep();
}

SweepResult LoggerList::SendSweep() {
    SweepResult sweep;
    sweep.from = window_.LocalAddressText();
    const std::string prefix = SubnetPrefix(sweep.from);
    // Hosts 0 and 255 are the subnet's own and its broadcast address. An address text that is not dotted
    // IPv4 (a local address that is none) makes the endpoint refuse the send, which is counted too.
    for (int host = 1; host <= 254; ++host) {
        ++sweep.probes;
        if (const std::error_code error =
                discoverySocket_.SendTo(DiscoveryProbe, prefix + std::to_string(host), discoveryPort_)) {
            if (sweep.failed++ == 0) {
                sweep.firstError = error;
            }
        }
    }
    return sweep;
}

std::error_code LoggerList::Probe(const std::string& address) {
    Clear();
    protocolState_.Store(Protocol::Search);
    return ProbeAlso(address);
}

std::error_code LoggerList::ProbeAlso(const std::string& address) {
    return discoverySocket_.SendTo(DiscoveryProbe, address, discoveryPort_);
}

std::optional<LoggerRow> LoggerList::Row(std::optional<int> index) const {
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= rows_.size()) {
        return std::nullopt;
    }
    return rows_[static_cast<std::size_t>(*index)];
}

std::optional<LoggerRow> LoggerList::HandleDiscoveryFrame(const std::string& frame,
                                                          const std::string& sender) {
    const bool searching = protocolState_.Load() == Protocol::Search;
    if ((!searching && (awaited_.empty() || sender != awaited_)) || frame.size() < 2) {
        return std::nullopt;
    }
    // Between the start and the end byte: the serial number, then, after the first '#', the version, which
    // may itself hold '#'. Nothing is trimmed yet.
    const std::string_view body = std::string_view(frame).substr(1, frame.size() - 2);
    const std::size_t hash = body.find('#');
    const std::string_view serial = body.substr(0, hash);
    const std::string_view version =
        hash == std::string_view::npos ? std::string_view() : body.substr(hash + 1);

    // The probe to our own address comes back to us; and an answer without a serial number names no logger.
    if (sender == window_.LocalAddressText() || serial.empty()) {
        return std::nullopt;
    }
    const LoggerRow answer{std::string(TrimBlankAndControl(serial)), sender, std::string(version)};
    const auto listed =
        std::find_if(rows_.begin(), rows_.end(), [&sender](const LoggerRow& r) { return r.ip == sender; });
    const int index = static_cast<int>(listed - rows_.begin());
    if (!searching) {
        if (listed != rows_.end()) {
            listed->version = answer.version;
            window_.SetRowVersion(index, listed->version);
        }
        return answer;
    }
    answers_.Note(answer);
    if (listed == rows_.end()) {
        rows_.push_back(answer);
        window_.AppendRow(rows_.back());
        return answer;
    }
    listed->sn = serial;
    if (answers_.Conflicting(sender)) {
        // The row would pass for one logger whose blocks reach either: it says that two answer there.
        const std::vector<LoggerRow>& heard = answers_.At(sender);
        window_.SetRowCaption(index, text::ConflictCaption(heard));
        window_.SetRowTip(index, text::ConflictTip(heard));
    } else {
        window_.SetRowCaption(index, listed->sn);
    }
    return answer;
}

}  // namespace lut
