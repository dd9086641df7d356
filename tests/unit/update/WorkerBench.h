// What worker tests run a worker against: the tool's update endpoint and a fake logger on loopback, a
// virtual clock, a recording display and the protocol state, with helpers that walk a run pause by pause.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LoopbackLogger.h"
#include "RecordingDisplay.h"
#include "VirtualPacer.h"
#include "update/workers/TransferSteps.h"
#include "update/workers/Tupthread.h"
#include "update/workers/Tupthread1.h"

namespace lut::test {

// Hexadecimal text in which every block differs from every other.
inline std::string HexPattern(std::size_t chars) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text(chars, '0');
    for (std::size_t i = 0; i < chars; ++i) {
        text[i] = Digits[(i * 7 + i / 600 * 5) % 16];
    }
    return text;
}

struct Sent {
    long long atMs;  // virtual time of the send
    std::string payload;
    bool operator==(const Sent&) const = default;
};

inline void PrintTo(const Sent& sent, std::ostream* out) {
    *out << sent.atMs << "ms '" << sent.payload.substr(0, 16) << (sent.payload.size() > 16 ? "...'" : "'");
}

class WorkerBench {
  public:
    WorkerBench() { EXPECT_FALSE(tool.Open({"127.0.0.1", 0})); }

    // A run still under way ends at its pause before the workers are joined.
    ~WorkerBench() {
        stop.Request();
        a.reset();
        b.reset();
    }

    Tupthread& StartA(Tupthread::Fields fields) {
        a = std::make_unique<Tupthread>(context);
        a->SetFields(std::move(fields));
        a->Thread().Post(WorkerStartMessage);
        return *a;
    }

    Tupthread1& StartB(Tupthread1::Fields fields) {
        b = std::make_unique<Tupthread1>(context);
        b->SetFields(std::move(fields));
        b->Thread().Post(WorkerStartMessage);
        return *b;
    }

    // Waits until `sleepers` workers pause, notes what the logger has received, and lets the first go on.
    bool Pass(int pauses, std::size_t sleepers = 1) {
        for (int i = 0; i < pauses; ++i) {
            if (!Reach(sleepers)) {
                return false;
            }
            pacer.AdvanceToNextWake();
        }
        return true;
    }

    // Waits until `sleepers` workers pause and notes what the logger has received by then.
    bool Reach(std::size_t sleepers = 1) {
        if (!pacer.WaitForSleepers(sleepers)) {
            ADD_FAILURE() << "the workers never reached " << sleepers << " pauses";
            return false;
        }
        Collect();
        return true;
    }

    // Waits until the worker has ended its run.
    bool AwaitEnd(const Worker& worker) {
        if (!worker.WaitIdle(VirtualPacer::HangGuard)) {
            ADD_FAILURE() << "the run never ended";
            return false;
        }
        Collect();
        return true;
    }

    void Collect() {
        for (std::string& payload : logger.Arrived()) {
            received.push_back({pacer.ElapsedMs(), std::move(payload)});
        }
    }

    std::vector<std::string> Payloads() const {
        std::vector<std::string> payloads;
        for (const Sent& sent : received) {
            payloads.push_back(sent.payload);
        }
        return payloads;
    }

    Endpoint tool;
    LoopbackLogger logger{"127.0.0.1", 0};
    VirtualPacer pacer;
    RecordingDisplay display;
    AtomicProtocolState state;
    StopSignal stop;
    WorkerContext context{tool, logger.Port(), pacer, display, state, stop};
    std::vector<Sent> received;
    std::unique_ptr<Tupthread> a;
    std::unique_ptr<Tupthread1> b;
};

}  // namespace lut::test
