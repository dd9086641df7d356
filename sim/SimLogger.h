// One simulated logger's side of both dialogues, free of sockets: it is handed each datagram that reached
// one of its two ports together with the sender, and gives back the datagrams to send to that sender from
// the same port, the log lines of the exchange and, when an update has just completed, the image.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/RxAccumulator.h"
#include "sim/SimOptions.h"

namespace lut::sim {

enum class Port {
    Discovery,  // answers the probe
    Update,     // the update dialogue, in frames with check code
};

struct Peer {
    std::string address;
    std::uint16_t port = 0;
};

// An update that has every block: its version as requested, and the image as bytes.
struct CompletedImage {
    std::string version;
    std::string bytes;
};

struct Reaction {
    std::vector<std::string> datagrams;  // to the sender, in this order, from the port that received
    std::vector<std::string> log;        // one line per exchange, each beginning with the logger's address
    std::optional<CompletedImage> image;
};

// A resend answer lists at most this many blocks, so that it stays well inside the tool's receive buffer
// (10230 bytes); the rest are listed at the next query.
inline constexpr std::size_t MaxListedBlocks = 2000;

class SimLogger {
  public:
    SimLogger(LoggerIdentity identity, LoggerBehaviour behaviour);

    using Clock = std::chrono::steady_clock;

    // `now` decides whether the logger is still restarting after a completed update.
    Reaction Receive(Port port, std::string_view datagram, const Peer& sender,
                     Clock::time_point now = Clock::now());

    const LoggerIdentity& Identity() const { return identity_; }

    // Whether this logger loses block index on its first arrival (the --drop-blocks list or the share).
    bool LosesOnFirstArrival(std::uint32_t index) const;

  private:
    // The update under way since the last accepted request.
    struct Session {
        std::string version;
        std::uint32_t count = 0;
        std::vector<std::optional<std::string>> blocks;  // hexadecimal text by index, once stored
        std::vector<bool> arrived;                       // whether a block has arrived at least once
        bool completed = false;
    };

    void HandleProbe(std::string_view datagram, const Peer& sender, Reaction& reaction) const;
    void HandleFrame(const std::string& frame, Reaction& reaction, Clock::time_point now);
    void HandleRequest(std::string_view payload, Reaction& reaction);
    void HandleBlock(std::string_view payload, Reaction& reaction);
    void HandleQuery(Reaction& reaction, Clock::time_point now);
    // Frames the payload, applies the answer faults, and logs it as shown (the payload when empty).
    void Answer(Port port, std::string_view payload, Reaction& reaction, std::string_view shown = {}) const;
    void Log(Reaction& reaction, std::string_view line) const;

    LoggerIdentity identity_;
    LoggerBehaviour behaviour_;
    std::uint64_t lossKey_;  // the seed mixed with the address, so that loggers lose different blocks
    RxAccumulator updateRx_{Channel::Update};
    std::optional<Session> session_;
    unsigned queriesIgnored_ = 0;
    Clock::time_point restartEnds_{};  // silent on both ports until then
};

}  // namespace lut::sim
