#include "link/LinkState.h"

#include <array>

namespace lut {

namespace {

bool OpenEndpoint(Endpoint& endpoint, const BindRecord& bind, std::error_code* why) {
    const std::error_code failure = endpoint.Open(bind);
    if (why != nullptr) {
        *why = failure;
    }
    return !failure;
}

}  // namespace

bool LinkState::OpenUpdateEndpoint(std::error_code* why) {
    return OpenEndpoint(UpdateSocket, UpdateBindAddress, why);
}

bool LinkState::OpenDiscoveryEndpoint(std::error_code* why) {
    return OpenEndpoint(DiscoverySocket, DiscoveryBindAddress, why);
}

void LinkState::CloseUpdateEndpoint() {
    UpdateSocket.Close();
}

void LinkState::CloseDiscoveryEndpoint() {
    DiscoverySocket.Close();
}

void LinkState::HandleSocketMessage(int eventCode, const UpdateFrameSink& onUpdate,
                                    const DiscoveryFrameSink& onDiscovery) {
    HandleSocketMessage(
        eventCode,
        [this, &onUpdate](std::span<const char> datagram, const std::string&) {
            UpdateRxText.ExtractFrames(datagram, [&onUpdate](const std::string& frame) {
                if (VerifyUpdateFrame(frame) && onUpdate) {
                    onUpdate(frame);
                }
            });
        },
        onDiscovery);
}

void LinkState::HandleSocketMessage(int eventCode, const UpdateDatagramSink& onUpdate,
                                    const DiscoveryFrameSink& onDiscovery) {
    if (eventCode != ReadEvent) {
        return;
    }
    // Each run, nested ones included (a modal box's event loop), has its own buffer.
    std::array<char, RxBufferSize> buffer{};
    const std::span<char> room(buffer);

    const ReceiveResult update = Receive(UpdateSocket, room);
    if (update.count > 0) {
        onUpdate(room.first(update.count), update.senderAddress);
        return;
    }
    const ReceiveResult discovery = Receive(DiscoverySocket, room);
    if (discovery.count > 0) {
        DiscoveryRxText.ExtractFrames(room.first(discovery.count),
                                      [&onDiscovery, &discovery](const std::string& frame) {
                                          if (onDiscovery) {
                                              onDiscovery(frame, discovery.senderAddress);
                                          }
                                      });
    }
}

ReceiveResult LinkState::Receive(Endpoint& endpoint, std::span<char> buffer) {
    if (!endpoint.IsOpen()) {
        return {};
    }
    ReceiveResult result = endpoint.Receive(buffer);
    receiveErrors_ += result.skippedErrors;
    if (result.what == Received::Failed) {
        ++receiveFailures_;
        lastReceiveFailure_ = result.error;
        if (!receiveFailure_) {
            receiveFailure_ = result.error;
        }
    }
    return result;
}

}  // namespace lut
