// A logger on a loopback address for the command's tests: it answers the probe with its identity, the
// update request as scripted, keeps the blocks it receives (losing some the first time, if asked), and
// answers each query as a logger does: the blocks it still lacks, or the final answer once it has all.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/WakePipe.h"
#include "link/Endpoint.h"

namespace lut::cli::test {

struct LoggerScript {
    std::string identity = "12345#S1.00";  // the probe's answer between ESC and ENQ; empty: no answer
    std::string requestAnswer = "R0000";   // the payload answering "LU"; empty: no answer
    int requestsLost = 0;                  // this many "LU" go unanswered first (their answers were lost)
    std::set<int> lose{};                  // blocks dropped the first time they arrive
    std::string finalAnswer = "R";         // answers "EN" once every block is held; empty: no answer
    std::function<void(int blocksReceived)> onBlock{};  // on the logger's thread, after each block
    bool adoptVersion = true;          // once complete, the probe's answer carries the version requested
    int probesIgnoredAfterUpdate = 0;  // once complete, this many probes go unanswered (a restart)
    int oversizedBeforeIdentity = 0;   // datagrams too long for the tool to take in, before each answer
    int probesLost = 0;                // the answers to the first this many probes are lost
    std::string otherIdentity{};       // a second device at the address: answers every second probe
};

class FakeLogger {
  public:
    // Ports 0: free ones, which UpdatePort() and DiscoveryPort() then tell.
    FakeLogger(const std::string& address, LoggerScript script, std::uint16_t updatePort = 0,
               std::uint16_t discoveryPort = 0);
    ~FakeLogger();

    std::uint16_t UpdatePort() const { return update_.LocalPort(); }
    std::uint16_t DiscoveryPort() const { return discovery_.LocalPort(); }

    std::vector<std::string> Requests() const;  // every "LU" payload
    // The "LU" payloads, each once. A request goes again when its acceptance is not in within 1.5 s of the
    // pacer's clock, 75 ms at the tests' speed-up: a loaded machine may send one more than the script asks.
    std::set<std::string> DistinctRequests() const;
    std::vector<int> Blocks() const;  // every block index, as it arrived
    int Queries() const;
    int Probes() const;         // every probe that reached the logger
    std::string Image() const;  // the held blocks' characters, in block order

  private:
    void Serve();
    void OnProbe();
    void OnFrame();
    std::string QueryAnswer() const;

    LoggerScript script_;
    Endpoint update_;
    Endpoint discovery_;
    WakePipe stop_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<int> arrivals_;
    std::map<int, std::string> held_;
    int blockCount_ = 0;
    int queries_ = 0;
    int probes_ = 0;
    bool complete_ = false;
    std::string version_;  // the version of the last request
    std::thread thread_;
};

}  // namespace lut::cli::test
