// Throughput of the update channel's receive path: extraction plus check-code verification. A flood that
// never brings a frame end must not cost more than twice what a stream of valid block frames costs, so a
// long unfinished frame is never searched from its start again.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <vector>

#include "link/RxAccumulator.h"
#include "link/uPubpro.h"

namespace lut {
namespace {

constexpr std::size_t StreamBytes = 10 * 1024 * 1024;
constexpr std::size_t FloodDatagramBytes = 1024;

void Extract(benchmark::State& state, const std::vector<std::string>& datagrams,
             std::size_t cap = RxTextCap) {
    std::size_t bytes = 0;
    for (const std::string& datagram : datagrams) {
        bytes += datagram.size();
    }
    for (auto _ : state) {
        RxAccumulator accumulator(Channel::Update, cap);
        std::size_t valid = 0;
        for (const std::string& datagram : datagrams) {
            accumulator.ExtractFrames(
                datagram, [&valid](const std::string& frame) { valid += VerifyUpdateFrame(frame) ? 1 : 0; });
        }
        benchmark::DoNotOptimize(valid);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// (a) Valid 612-byte data-block frames, one per datagram, as a logger's peer sends them.
void BM_BlockFrames(benchmark::State& state) {
    std::vector<std::string> datagrams;
    for (std::uint32_t index = 0; datagrams.size() * 612 < StreamBytes; ++index) {
        datagrams.push_back(
            MakeFrame("UD" + Hex4(index) + std::string(BlockChars, "0123456789ABCDEF"[index % 16])));
    }
    Extract(state, datagrams);
}
BENCHMARK(BM_BlockFrames)->Unit(benchmark::kMillisecond);

// (b) 10 MB in 1 KB datagrams without any ENQ. Starting with an ESC, the whole flood is one frame that
// never ends; with an ESC in every datagram, the cap always finds a frame start to keep.
std::vector<std::string> Flood(bool escInEveryDatagram) {
    std::vector<std::string> datagrams(StreamBytes / FloodDatagramBytes,
                                       std::string(FloodDatagramBytes, 'j'));
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        if (i == 0 || escInEveryDatagram) {
            datagrams[i][(i * 37) % FloodDatagramBytes] = FrameStart;
        }
    }
    return datagrams;
}

void BM_FloodWithoutFrameEnd(benchmark::State& state) {
    Extract(state, Flood(false));
}
BENCHMARK(BM_FloodWithoutFrameEnd)->Unit(benchmark::kMillisecond);

void BM_FloodWithFrameStartsWithoutFrameEnd(benchmark::State& state) {
    Extract(state, Flood(true));
}
BENCHMARK(BM_FloodWithFrameStartsWithoutFrameEnd)->Unit(benchmark::kMillisecond);

// The same unending frame with a cap above the flood: all 10 MB stay, and each datagram is still searched
// only in its own bytes.
void BM_FloodWithoutFrameEndUncapped(benchmark::State& state) {
    Extract(state, Flood(false), 2 * StreamBytes);
}
BENCHMARK(BM_FloodWithoutFrameEndUncapped)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lut
