// Every logger that answered from each address during one search. Two different serial numbers from one
// address are an address conflict on site: the list shows one row per address (the window's rule), so
// the blocks of an update would reach an unknown one of the two.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "update/WindowOperations.h"

namespace lut {

class AddressLedger {
  public:
    void Clear() { answers_.clear(); }

    // One answer: a serial number not yet heard from that address adds a logger there.
    void Note(const LoggerRow& answer);

    // The loggers heard from the address, in the order they first answered (one serial number each).
    const std::vector<LoggerRow>& At(const std::string& address) const;

    bool Conflicting(const std::string& address) const { return At(address).size() > 1; }

  private:
    std::map<std::string, std::vector<LoggerRow>> answers_;
};

}  // namespace lut
