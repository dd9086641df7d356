// How an update's progress reaches the technician: on a terminal one redrawn line with a bar, the blocks
// sent, the total and the time left; in a pipe or a log one line per stage; with --json nothing. It also
// keeps the tally for the final report. It learns everything from the dialogue's events.
#pragma once

#include <ostream>
#include <string_view>

#include "update/dialogue/DialogueEvents.h"

namespace lut::cli {

class ProgressView {
  public:
    enum class Style { Bar, Lines, Quiet };

    // Where the dialogue stands, as far as the view knows.
    enum class Stage { None, Requested, Sending, Resending, Querying, Failed };

    ProgressView(std::ostream& out, Style style) : out_(out), style_(style) {}

    // Every event of the dialogue, in order.
    void Apply(const DialogueEvent& event);

    // Ends the drawn line, so that what follows starts on a line of its own.
    void Close();
    // The update has ended: the line is closed for good. Later events (the workers' last reports) are
    // still counted, but never drawn.
    void End();

    Stage CurrentStage() const { return stage_; }
    int BlockCount() const { return blockCount_; }
    // Every block sent, resends included.
    int BlocksSent() const { return blocksSent_; }
    int BlocksResent() const { return blocksResent_; }
    int SendFailures() const { return sendFailures_; }
    bool Transferring() const { return runs_ > 0; }
    int Position() const { return position_; }
    int Maximum() const { return maximum_; }

  private:
    void Enter(Stage stage);
    void Draw();

    std::ostream& out_;
    Style style_;
    Stage stage_ = Stage::None;
    int runs_ = 0;
    int maximum_ = 0;
    int position_ = 0;
    int blockCount_ = 0;
    int blocksSent_ = 0;
    int blocksResent_ = 0;
    int sendFailures_ = 0;
    int queries_ = 0;
    bool lineOpen_ = false;
    bool ended_ = false;
};

}  // namespace lut::cli
