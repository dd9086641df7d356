// One run of the tool without a window: the in-memory window, the workers' waker, the spine they drive and
// the loop that feeds it, wired once.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/EventLoop.h"
#include "update/MemoryWindow.h"
#include "update/ToolCore.h"
#include "update/workers/Pacer.h"

namespace lut::cli {

class Session {
  public:
    Session(const ToolOptions& options, std::string localAddress, Pacer& pacer, NativeSocket interruptHandle);

    // Opens both endpoints and creates the workers. Empty when both endpoints opened; otherwise
    // "Create Socket Fail!!" with the reason for each endpoint that failed.
    std::optional<std::string> Start();

    // A line on the transient receive errors skipped so far, when there were any.
    void ReportReceiveErrors(std::ostream& err) const;

    // Browse with the file, then the version box set to `version` when given. Empty when the file was
    // loaded; otherwise why not, as the box Browse showed says it.
    std::optional<std::string> LoadFile(const std::string& file, const std::optional<std::string>& version);

    MemoryWindow& Window() { return window_; }
    ToolCore& Core() { return core_; }
    EventLoop& Loop() { return loop_; }

  private:
    MemoryWindow window_;
    PipeWaker waker_;
    ToolCore core_;  // after what the workers use, so that it shuts them down first
    EventLoop loop_;
};

// The local address only serves to ignore the workstation's own answers, so an unknown one is no reason
// to stop: empty then.
std::string LocalAddressOrNone(const CommonOptions& options);

}  // namespace lut::cli
