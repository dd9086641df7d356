#include "sim/SimRunner.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "link/Readiness.h"
#include "sim/ImageFile.h"

namespace lut::sim {

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");
std::atomic<int> stopSignal{0};
std::atomic<int> stopPipeWrite{-1};

extern "C" void NoteStopSignal(int signal) {
    const int savedErrno = errno;
    stopSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const auto written = write(stopPipeWrite, &byte, 1);
    errno = savedErrno;
}

// Datagrams taken from one socket per wake-up, so that a flood at one logger cannot starve the others.
constexpr int ReceivesPerWake = 64;

// Larger than any frame the tool sends, so that no datagram is cut.
constexpr std::size_t ReceiveBufferSize = 65536;

// SIGINT and SIGTERM note themselves and write to a pipe that the wait watches, so that a signal can
// never slip in between the check of the stop flag and the wait: the pipe stays readable and ends it.
class StopSignals {
  public:
    StopSignals() {
        int ends[2];
        if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "cannot create the stop pipe");
        }
        read_ = ends[0];
        stopSignal = 0;
        stopPipeWrite = ends[1];
        struct sigaction action {};
        action.sa_handler = NoteStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        close(stopPipeWrite.exchange(-1));
        close(read_);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable once a stop signal came.
    int Handle() const { return read_; }

  private:
    int read_ = -1;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

void OpenEndpoint(Endpoint& endpoint, const std::string& address, std::uint16_t port) {
    if (const std::error_code error = endpoint.Open({address, port})) {
        std::string text = "cannot bind " + address + ":" + std::to_string(port) + ": " + error.message();
        if (error == std::errc::permission_denied && port < 1024) {
            text += " (ports below 1024 need privileges; --discovery-port and --update-port choose others)";
        }
        throw std::runtime_error(text);
    }
}

}  // namespace

SimLog::SimLog(std::ostream& out) : out_(out), start_(std::chrono::steady_clock::now()) {}

void SimLog::Line(std::string_view line) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    std::array<char, 32> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%9.3f ", elapsed.count());
    out_ << stamp.data() << line << std::endl;
}

SimRunner::SimRunner(const SimOptions& options, SimLog& log)
    : options_(options), log_(log), buffer_(ReceiveBufferSize) {}

void SimRunner::Open() {
    for (const LoggerIdentity& identity : options_.loggers) {
        auto station = std::make_unique<Station>(
            SimLogger(identity, options_.behaviour),
            FaultyPath(options_.network, options_.behaviour.seed, identity.address));
        OpenEndpoint(station->discovery, identity.address, options_.discoveryPort);
        OpenEndpoint(station->update, identity.address, options_.updatePort);
        log_.Line(identity.address + " is logger " + identity.serial + " version " + identity.version +
                  ", discovery port " + std::to_string(station->discovery.LocalPort()) + ", update port " +
                  std::to_string(station->update.LocalPort()));
        stations_.push_back(std::move(station));
    }
    log_.Line("ready: " + std::to_string(stations_.size()) + " simulated logger(s)");
}

std::uint16_t SimRunner::LocalPort(std::size_t logger, Port port) const {
    if (logger >= stations_.size()) {
        return 0;
    }
    const Station& station = *stations_[logger];
    return port == Port::Discovery ? station.discovery.LocalPort() : station.update.LocalPort();
}

void SimRunner::Run() {
    const StopSignals signals;
    const auto deadline = std::chrono::steady_clock::now() + options_.runTime;
    // The stop pipe first, then each station's discovery and update endpoints.
    std::vector<WatchedHandle> watched{{signals.Handle()}};
    for (const auto& station : stations_) {
        watched.push_back({station->discovery.Handle()});
        watched.push_back({station->update.Handle()});
    }
    while (stopSignal == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            std::array<char, 64> text{};
            std::snprintf(text.data(), text.size(), "run time of %.1f s is over",
                          std::chrono::duration<double>(options_.runTime).count());
            log_.Line(text.data());
            return;
        }
        const auto wakeAt = std::min(deadline, inFlight_.NextDue().value_or(deadline));
        const auto timeout = std::chrono::ceil<std::chrono::milliseconds>(std::max(wakeAt - now, {}));
        if (const std::error_code error = WaitUntilReadable(watched, timeout)) {
            throw std::system_error(error, "waiting for datagrams");
        }
        for (std::size_t i = 1; i < watched.size(); ++i) {
            if (watched[i].ready) {
                Serve((i - 1) / 2, (i - 1) % 2 == 0 ? Port::Discovery : Port::Update);
            }
        }
        for (InFlight& datagram : inFlight_.TakeDue(std::chrono::steady_clock::now())) {
            Arrive(std::move(datagram));
        }
    }
    log_.Line(std::string("stopped by ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
}

void SimRunner::Serve(std::size_t index, Port port) {
    Station& station = *stations_[index];
    Endpoint& endpoint = port == Port::Discovery ? station.discovery : station.update;
    for (int i = 0; i < ReceivesPerWake; ++i) {
        const ReceiveResult received = endpoint.Receive(buffer_);
        if (received.what == Received::Failed) {
            throw std::system_error(received.error, station.logger.Identity().address + " receiving");
        }
        if (received.what == Received::Nothing) {
            return;
        }
        InFlight datagram{index,
                          port,
                          Direction::ToLogger,
                          std::string(buffer_.data(), received.count),
                          {received.senderAddress, received.senderPort}};
        for (const auto delay : station.path.Copies(Direction::ToLogger)) {
            Pass(datagram, delay);
        }
    }
}

void SimRunner::Pass(InFlight datagram, InFlightQueue::Clock::duration delay) {
    if (delay <= InFlightQueue::Clock::duration::zero()) {
        Arrive(std::move(datagram));
    } else {
        inFlight_.Push(InFlightQueue::Clock::now() + delay, std::move(datagram));
    }
}

void SimRunner::Arrive(InFlight datagram) {
    Station& station = *stations_[datagram.station];
    const Peer& tool = datagram.tool;
    if (datagram.direction == Direction::ToTool) {
        Endpoint& endpoint = datagram.port == Port::Discovery ? station.discovery : station.update;
        if (const std::error_code error = endpoint.SendTo(datagram.bytes, tool.address, tool.port)) {
            log_.Line(station.logger.Identity().address + " send to " + tool.address + ":" +
                      std::to_string(tool.port) + " failed: " + error.message());
        }
        return;
    }
    Reaction reaction = station.logger.Receive(datagram.port, datagram.bytes, tool);
    for (const std::string& line : reaction.log) {
        log_.Line(line);
    }
    for (std::string& answer : reaction.datagrams) {
        const auto copies = station.path.Copies(Direction::ToTool);
        if (copies.size() != 1) {
            log_.Line(station.logger.Identity().address +
                      (copies.empty() ? " answer lost" : " answer duplicated") + " on the way to " +
                      tool.address);
        }
        for (const auto delay : copies) {
            Pass({datagram.station, datagram.port, Direction::ToTool, answer, tool}, delay);
        }
    }
    if (reaction.image) {
        KeepImage(station, *reaction.image);
    }
}

void SimRunner::KeepImage(const Station& station, const CompletedImage& image) {
    const LoggerIdentity& identity = station.logger.Identity();
    if (options_.outDir.empty()) {
        log_.Line(identity.address + " image not written (no --out-dir)");
        return;
    }
    try {
        const auto path = WriteImage(options_.outDir, identity.serial, image.version, image.bytes);
        log_.Line(identity.address + " image written: " + path.string());
    } catch (const std::runtime_error& error) {
        log_.Line(identity.address + " " + error.what());
    }
}

}  // namespace lut::sim
