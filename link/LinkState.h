// The link layer's state for one run: the two endpoints with their bind records and the two receive
// accumulators. The program creates one; every test creates its own.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <system_error>

#include "link/Endpoint.h"
#include "link/RxAccumulator.h"
#include "link/uPubpro.h"

namespace lut {

class LinkState {
  public:
    // A verified update frame, whole.
    using UpdateFrameSink = std::function<void(const std::string& frame)>;
    // One datagram of the update endpoint as it came, with the dotted address of its sender.
    using UpdateDatagramSink = std::function<void(std::span<const char> datagram, const std::string& sender)>;
    // A discovery frame, whole, with the dotted address of the datagram's sender that completed it.
    using DiscoveryFrameSink = std::function<void(const std::string& frame, const std::string& sender)>;

    BindRecord UpdateBindAddress{"0.0.0.0", UpdatePort};
    BindRecord DiscoveryBindAddress{"0.0.0.0", DiscoveryPort};

    Endpoint UpdateSocket;
    Endpoint DiscoverySocket;

    RxAccumulator UpdateRxText{Channel::Update};
    RxAccumulator DiscoveryRxText{Channel::Discovery};

    // Transient receive errors skipped on either endpoint so far (an earlier probe's ICMP answer, a
    // datagram too long to take in).
    std::size_t ReceiveErrors() const { return receiveErrors_; }
    // The first receive error that an open endpoint could not get past (the network went down, the
    // handle was closed under it); empty while there is none.
    std::error_code ReceiveFailure() const { return receiveFailure_; }
    // How many receives failed so far, and the last one's error.
    std::size_t ReceiveFailures() const { return receiveFailures_; }
    std::error_code LastReceiveFailure() const { return lastReceiveFailure_; }

    // Open with the bind records as they stand; false (and the reason in the error) when it fails.
    bool OpenUpdateEndpoint(std::error_code* why = nullptr);
    bool OpenDiscoveryEndpoint(std::error_code* why = nullptr);
    void CloseUpdateEndpoint();
    void CloseDiscoveryEndpoint();

    // One readability notification: receives one datagram, the update endpoint first and the discovery
    // endpoint only when the update endpoint yielded nothing, and runs that channel's extraction.
    // Update frames that fail their check code are dropped here; the rest go to the sinks.
    void HandleSocketMessage(int eventCode, const UpdateFrameSink& onUpdate,
                             const DiscoveryFrameSink& onDiscovery);
    // The same, but the update endpoint's datagram goes whole to its sink, for a consumer that keeps an
    // accumulator per sender; UpdateRxText is left alone.
    void HandleSocketMessage(int eventCode, const UpdateDatagramSink& onUpdate,
                             const DiscoveryFrameSink& onDiscovery);

  private:
    // One receive from an open endpoint (an endpoint whose open failed yields nothing), with its errors
    // counted or kept.
    ReceiveResult Receive(Endpoint& endpoint, std::span<char> buffer);

    std::size_t receiveErrors_ = 0;
    std::error_code receiveFailure_;
    std::size_t receiveFailures_ = 0;
    std::error_code lastReceiveFailure_;
};

}  // namespace lut
