// The simulated loggers at work: each binds its two ports on its own loopback address, and one poll loop
// serves every socket, and delivers the datagrams the simulated network held back when they are due,
// until the run time is over or SIGINT or SIGTERM arrives.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

#include "link/Endpoint.h"
#include "sim/InFlight.h"
#include "sim/NetworkFaults.h"
#include "sim/SimLogger.h"
#include "sim/SimOptions.h"

namespace lut::sim {

// The exchange log: one line each, led by the seconds since the start, flushed at once so that a test
// reading it sees every line as it happens.
class SimLog {
  public:
    explicit SimLog(std::ostream& out);
    void Line(std::string_view line);

  private:
    std::ostream& out_;
    std::chrono::steady_clock::time_point start_;
};

class SimRunner {
  public:
    SimRunner(const SimOptions& options, SimLog& log);

    // Binds every logger's discovery and update ports and logs where each listens, then "ready".
    // Throws std::runtime_error naming the address and port that could not be bound, and why.
    void Open();

    // Serves the datagrams of every logger until the run time is over or SIGINT or SIGTERM arrives.
    // SIGINT and SIGTERM must reach the thread that runs it.
    void Run();

    // The port a logger (by its place in the options) has bound; 0 before Open.
    std::uint16_t LocalPort(std::size_t logger, Port port) const;

  private:
    struct Station {
        Station(SimLogger simLogger, FaultyPath faultyPath)
            : logger(std::move(simLogger)), path(std::move(faultyPath)) {}
        SimLogger logger;
        FaultyPath path;
        Endpoint discovery;
        Endpoint update;
    };

    void Serve(std::size_t station, Port port);
    // Hands the datagram on at once when it is due now, else holds it back until it is.
    void Pass(InFlight datagram, InFlightQueue::Clock::duration delay);
    void Arrive(InFlight datagram);
    void KeepImage(const Station& station, const CompletedImage& image);

    const SimOptions& options_;
    SimLog& log_;
    std::vector<std::unique_ptr<Station>> stations_;
    InFlightQueue inFlight_;
    std::vector<char> buffer_;  // one datagram at a time
};

}  // namespace lut::sim
