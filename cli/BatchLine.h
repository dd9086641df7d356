// What a batch writes while it runs: on a terminal one redrawn line for the whole batch (loggers done, in
// flight and waiting, blocks sent, time left), with the lines that must stay written above it; in a pipe
// or a log those lines alone; with --json nothing.
#pragma once

#include <ostream>
#include <string>

#include "cli/BatchScheduler.h"
#include "cli/ProgressView.h"

namespace lut::cli {

class BatchLine {
  public:
    // Bar: a terminal; Lines: a pipe or a log; Quiet: --json.
    BatchLine(std::ostream& out, ProgressView::Style style) : out_(out), style_(style) {}

    // Redraws the progress line (a terminal only). `blocks`: the file's.
    void Draw(const Attempts& attempts, std::size_t parallel, int blocks);

    // A line of its own, flushed, so that a log or a script that follows the output sees it at once.
    void Say(const std::string& line);

  private:
    std::ostream& out_;
    const ProgressView::Style style_;
    bool open_ = false;  // the progress line is drawn
};

}  // namespace lut::cli
