// The logger's side of the update dialogue for tests: an endpoint on a loopback address that reads the
// tool's frames and sends answers back to the tool's update endpoint.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/Endpoint.h"
#include "link/Readiness.h"
#include "link/uPubpro.h"

namespace lut::test {

// Waits until the endpoint has a datagram to read; false after a generous guard against a hang.
inline bool WaitReadable(const Endpoint& endpoint) {
    WatchedHandle watched{endpoint.Handle()};
    return !WaitUntilReadable({&watched, 1}, std::chrono::seconds(30)) && watched.ready;
}

class LoopbackLogger {
  public:
    // Binds address:port (port 0: any free port).
    LoopbackLogger(const std::string& address, std::uint16_t port) {
        EXPECT_FALSE(endpoint_.Open({address, port})) << "the fake logger cannot bind " << address;
    }

    std::uint16_t Port() const { return endpoint_.LocalPort(); }

    // The payload of the next frame, waiting for it; empty when none came or the check code is wrong.
    std::optional<std::string> Next() {
        if (!WaitReadable(endpoint_)) {
            return std::nullopt;
        }
        return Take();
    }

    // The payloads of every frame that has already arrived, in order, without waiting.
    std::vector<std::string> Arrived() {
        std::vector<std::string> payloads;
        while (std::optional<std::string> payload = Take()) {
            payloads.push_back(*payload);
        }
        return payloads;
    }

    // Sends one datagram holding the frames of these payloads to the tool.
    void Answer(const std::vector<std::string>& payloads, const std::string& toolAddress,
                std::uint16_t toolPort) {
        std::string datagram;
        for (const std::string& payload : payloads) {
            datagram += MakeFrame(payload);
        }
        AnswerRaw(datagram, toolAddress, toolPort);
    }

    // Sends the bytes as they are, in one datagram.
    void AnswerRaw(const std::string& datagram, const std::string& toolAddress, std::uint16_t toolPort) {
        EXPECT_FALSE(endpoint_.SendTo(datagram, toolAddress, toolPort));
    }

  private:
    std::optional<std::string> Take() {
        std::array<char, RxBufferSize> buffer{};
        const ReceiveResult received = endpoint_.Receive(buffer);
        if (received.count == 0) {
            return std::nullopt;
        }
        const std::string frame(buffer.data(), received.count);
        if (!VerifyUpdateFrame(frame)) {
            ADD_FAILURE() << "the tool sent a frame with a wrong check code";
            return std::nullopt;
        }
        return std::string(FramePayload(frame));
    }

    Endpoint endpoint_;
};

}  // namespace lut::test
