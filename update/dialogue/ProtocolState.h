// The step of the update dialogue (held as `ProtocolState` by the update state), shared by the GUI thread
// and both workers: one atomic value of five.
#pragma once

#include <atomic>
#include <string_view>

namespace lut {

enum class Protocol {
    Idle,     // ""   no dialogue under way, or the last one has ended
    Search,   // "SS" a search is under way; discovery answers are taken in
    Request,  // "LU" the update request was sent; the acceptance is awaited
    Update,   // "UD" a worker has been told to send blocks
    End,      // "EN" a worker has sent its blocks and asks for the result
};

// "", "SS", "LU", "UD" or "EN".
std::string_view ToText(Protocol value);

class AtomicProtocolState {
  public:
    Protocol Load() const { return value_.load(); }
    void Store(Protocol value) { value_.store(value); }
    std::string_view Text() const { return ToText(Load()); }

  private:
    std::atomic<Protocol> value_{Protocol::Idle};
};

}  // namespace lut
