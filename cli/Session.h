// One run of the tool without a window: the terminal's window operations, the workers' display queue, the
// spine they drive and the loop that feeds it, wired once.
#pragma once

#include <optional>
#include <string>

#include "cli/DisplayQueue.h"
#include "cli/EventLoop.h"
#include "cli/ProgressView.h"
#include "cli/TerminalWindow.h"
#include "update/Pacer.h"
#include "update/ProtocolState.h"
#include "update/ToolCore.h"

namespace lut::cli {

class Session {
  public:
    Session(const ToolOptions& options, std::string localAddress, Pacer& pacer, int interruptHandle);

    // Opens both endpoints and creates the workers. Empty when both endpoints opened; otherwise
    // "Create Socket Fail!!" with the reason for each endpoint that failed.
    std::optional<std::string> Start();

    // From here on the progress (status texts, the workers' bar) goes to the view as well.
    void ShowProgressIn(ProgressView& view) { view_ = &view; }

    Protocol State();
    TerminalWindow& Window() { return window_; }
    ToolCore& Core() { return core_; }
    EventLoop& Loop() { return loop_; }

  private:
    TerminalWindow window_;
    DisplayQueue display_;
    ProgressView* view_ = nullptr;
    ToolCore core_;  // after what the workers use, so that it shuts them down first
    EventLoop loop_;
};

}  // namespace lut::cli
