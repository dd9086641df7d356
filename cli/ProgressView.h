// How an update's progress reaches the technician: on a terminal one redrawn line with a bar, the blocks
// sent, the total and the time left; in a pipe or a log one line per stage; with --json nothing. It also
// keeps the tally for the final report.
#pragma once

#include <ostream>
#include <string>

#include "cli/DisplayQueue.h"

namespace lut::cli {

class ProgressView {
  public:
    enum class Style { Bar, Lines, Quiet };

    ProgressView(std::ostream& out, Style style) : out_(out), style_(style) {}

    // Every status text, in the order the status line gets it (the controller's and the workers').
    void Status(const std::string& text);

    // A worker's progress change (status changes go through Status).
    void Apply(const DisplayEvent& event);

    // Ends the drawn line, so that what follows starts on a line of its own.
    void Close();

    // The first run is worker A's: its maximum is the image's block count; every later run resends.
    int BlockCount() const { return blockCount_; }
    int BlocksSent() const { return blocksSent_; }
    int BlocksResent() const { return blocksResent_; }
    bool Transferring() const { return runs_ > 0; }
    bool Resending() const { return runs_ > 1; }
    int Position() const { return position_; }
    int Maximum() const { return maximum_; }
    const std::string& LastStatus() const { return status_; }

  private:
    void Draw();

    std::ostream& out_;
    Style style_;
    std::string status_;
    int runs_ = 0;
    int maximum_ = 0;
    int position_ = 0;
    int blockCount_ = 0;
    int blocksSent_ = 0;
    int blocksResent_ = 0;
    int queries_ = 0;
    bool lineOpen_ = false;
};

}  // namespace lut::cli
