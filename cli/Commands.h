// The commands of logger-update, each a whole run that ends with an exit code (cli/ExitCode.h).
#pragma once

#include <ostream>

#include "cli/CommandLine.h"
#include "cli/ProgressView.h"
#include "link/NativeSocket.h"
#include "update/workers/Pacer.h"

namespace lut::cli {

// What a run needs from its surroundings: main() gives the real ones; tests give string streams, a fast
// pacer and a pipe of their own for Ctrl-C.
struct RunContext {
    std::ostream& out;
    std::ostream& err;
    bool terminal;                 // out is a terminal: draw a progress bar instead of one line per stage
    Pacer& pacer;                  // the workers' pauses
    NativeSocket interruptHandle;  // readable on Ctrl-C; InvalidSocket for none

    // How progress is shown: a bar on a terminal, a line per stage elsewhere, nothing beside --json.
    ProgressView::Style Progress(bool json) const {
        return json       ? ProgressView::Style::Quiet
               : terminal ? ProgressView::Style::Bar
                          : ProgressView::Style::Lines;
    }
};

int RunSearch(const SearchOptions& options, const RunContext& context);
// One logger (Single), or a batch: a list of loggers or a whole site.
int RunUpdate(const UpdateOptions& options, const RunContext& context);
int RunBatch(const UpdateOptions& options, const RunContext& context);
int RunHistory(const HistoryOptions& options, const RunContext& context);
int RunDoctor(const DoctorOptions& options, const RunContext& context);

}  // namespace lut::cli
