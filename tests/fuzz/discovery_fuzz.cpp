// Fuzz target: the discovery path. Datagrams from a handful of loopback senders go through the discovery
// accumulator into the logger list, with Searches and the dialogue moving on in between.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CheckedChannel.h"
#include "FakeWindow.h"
#include "FuzzScene.h"
#include "link/Endpoint.h"
#include "update/search/LoggerList.h"

namespace lut::fuzz {
namespace {

const std::string LocalAddress = "127.0.0.1";

// The first byte of an input:
//   bits 0-2  the step of the dialogue (0 "", 1 "SS", 2 "LU", 3 "UD", 4 "EN"; 5 to 7 count on from "")
//   bit 6     an accumulator cap of 64 characters instead of the real one
Protocol StepOf(std::uint8_t setup) {
    return static_cast<Protocol>((setup & 7) % 5);
}
std::size_t CapOf(std::uint8_t setup) {
    return (setup & 0x40) != 0 ? 64 : RxTextCap;
}

// What the steps of an input do:
//   0 to 9  the step's bytes as one datagram from 127.0.0.<digit>; "1" is the tool's own address
//   S       a Search, as the window's button starts it (its probes go nowhere: the socket is never opened)
//   I       the dialogue moves on ("LU"), so that answers are no longer taken in
constexpr std::string_view Kinds = "0123456789SI";

class Bench {
  public:
    explicit Bench(std::uint8_t setup) : channel_(Channel::Discovery, CapOf(setup)) {
        window_.localAddress = LocalAddress;
        state_.Store(StepOf(setup));
    }

    void Run(const Step& step) {
        if (step.kind == 'S') {
            list_.btnsearchClick();
            return;
        }
        if (step.kind == 'I') {
            state_.Store(Protocol::Request);
            return;
        }
        if (step.bytes.empty() || step.bytes.size() > RxBufferSize) {
            return;  // an empty datagram, or one longer than the buffer, is none
        }
        const std::string sender = "127.0.0." + std::string(1, step.kind);
        channel_.Feed(step.bytes, [this, &sender](const std::string& frame) { Take(frame, sender); });
    }

    void Finish() const { channel_.Finish(); }

  private:
    void Take(const std::string& frame, const std::string& sender) {
        const std::vector<LoggerRow> before = window_.rows;
        list_.HandleDiscoveryFrame(frame, sender);
        const std::vector<LoggerRow>& after = window_.rows;

        if (state_.Load() != Protocol::Search || sender == LocalAddress) {
            Expect(after == before, "answers outside a Search, and our own probe, change no row");
            return;
        }
        Expect(after.size() == before.size() || after.size() == before.size() + 1,
               "an answer adds at most one row");
        for (std::size_t i = 0; i < before.size(); ++i) {
            Expect(after[i].ip == before[i].ip && after[i].version == before[i].version,
                   "a row keeps its address and version");
            Expect(after[i].sn == before[i].sn || after[i].ip == sender, "only the sender's row changes");
        }
        if (after.size() > before.size()) {
            Expect(after.back().ip == sender, "a new row is keyed by the answer's sender");
            Expect(std::none_of(before.begin(), before.end(),
                                [&sender](const LoggerRow& row) { return row.ip == sender; }),
                   "a sender already listed gets no second row");
        }
    }

    test::FakeWindow window_;
    AtomicProtocolState state_;
    Endpoint neverOpened_;
    LoggerList list_{window_, state_, neverOpened_, DiscoveryPort};
    CheckedChannel channel_;
};

}  // namespace
}  // namespace lut::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lut::fuzz;
    const Scene scene = ParseScene(data, size, Kinds, '2');
    Bench bench(scene.setup);
    for (const Step& step : scene.steps) {
        bench.Run(step);
    }
    bench.Finish();
    return 0;
}
