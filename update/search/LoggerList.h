// Search: the sweep of the /24 subnet of the local address, and the logger list built from the answers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "link/Endpoint.h"
#include "update/WindowOperations.h"
#include "update/dialogue/ProtocolState.h"
#include "update/search/AddressLedger.h"
#include "update/search/SweepResult.h"

namespace lut {

// The text of the local address up to and including its third full stop (fewer dots: up to the last).
std::string SubnetPrefix(std::string_view localAddress);

class LoggerList {
  public:
    LoggerList(WindowOperations& window, AtomicProtocolState& protocolState, Endpoint& discoverySocket,
               std::uint16_t discoveryPort);

    // Empties the list, sets "SS" and sends the probe to hosts 1 to 254 of the subnet, without waiting;
    // how many probes the system refused, and why.
    SweepResult btnsearchClick();
    // The probes of the sweep, the list kept: sent again, a logger whose answer was lost answers the
    // next round, and the answers merge by address (the search's later rounds).
    SweepResult SendSweep();

    // Empties the list, sets "SS" and sends the probe to the one address, so that its answer becomes the
    // only row; the system's error when the probe could not be sent.
    std::error_code Probe(const std::string& address);
    // The probe to one more address, the list kept: a list of loggers, or another round of one.
    std::error_code ProbeAlso(const std::string& address);

    // One discovery frame (ESC ... ENQ) and the dotted address of its sender: taken in while "SS", and
    // from the awaited address at any time; the answer taken in, with its serial number trimmed. An
    // address heard with a second serial number gets the conflict's caption and tooltip.
    std::optional<LoggerRow> HandleDiscoveryFrame(const std::string& frame, const std::string& sender);

    // The version check after an update: the address whose answers are taken outside a search too, each
    // refreshing its row's version; empty for none.
    void Await(std::string address) { awaited_ = std::move(address); }

    // The loggers found, in the order they first answered, with the bytes they sent; lv1 shows them.
    const std::vector<LoggerRow>& Rows() const { return rows_; }
    std::optional<LoggerRow> Row(std::optional<int> index) const;
    // Every serial number heard from each address since the list was last emptied.
    const AddressLedger& Answers() const { return answers_; }

  private:
    void Clear();

    WindowOperations& window_;
    AtomicProtocolState& protocolState_;
    Endpoint& discoverySocket_;
    std::uint16_t discoveryPort_;
    std::vector<LoggerRow> rows_;
    AddressLedger answers_;
    std::string awaited_;
};

}  // namespace lut
