#include "cli/BatchLine.h"

#include <algorithm>

#include "link/uPubpro.h"
#include "update/dialogue/TimeLeft.h"

namespace lut::cli {
namespace {

// Redrawing 254 loggers' line at every event would cost more than it shows.
constexpr std::chrono::milliseconds RedrawPause{100};

}  // namespace

void BatchLine::Draw(const Attempts& attempts, std::size_t parallel, int blocks) {
    const auto now = std::chrono::steady_clock::now();
    if (style_ != ProgressView::Style::Bar || now < drawn_ + RedrawPause) {
        return;
    }
    drawn_ = now;
    std::size_t done = 0;
    std::size_t running = 0;
    std::size_t waiting = 0;
    long blocksSent = 0;
    int mostLeft = 0;  // blocks the furthest behind running logger has still to send
    for (const auto& attempt : attempts) {
        done += attempt->CurrentPhase() == Attempt::Phase::Done ? 1 : 0;
        waiting += attempt->CurrentPhase() == Attempt::Phase::Waiting ? 1 : 0;
        blocksSent += attempt->Tally().BlocksSent();
        if (attempt->InFlight()) {
            ++running;
            mostLeft = std::max(mostLeft, blocks - attempt->Tally().BlocksSent());
        }
    }
    // The furthest behind, then a whole transfer for each round of `parallel` waiting loggers; a round's
    // final pause counts as the blocks sent in that time.
    const auto rounds = static_cast<int>((waiting + parallel - 1) / parallel);
    const auto finalPause = static_cast<int>(FinishDelay / BlockDelay);
    const int left = running > 0 ? mostLeft + rounds * (blocks + finalPause)
                                 : std::max(0, rounds * (blocks + finalPause) - finalPause);
    out_ << "\r" << done << " done, " << running << " in flight, " << waiting << " waiting; " << blocksSent
         << "/" << static_cast<long>(blocks) * static_cast<long>(attempts.size()) << " blocks, "
         << TimeLeft(left) << " left  " << std::flush;
    open_ = true;
}

void BatchLine::Say(const std::string& line) {
    if (style_ == ProgressView::Style::Quiet) {
        return;
    }
    if (open_) {
        out_ << '\n';
        open_ = false;
    }
    out_ << line << '\n' << std::flush;
}

}  // namespace lut::cli
