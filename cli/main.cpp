// logger-update: the command line of the Logger Update Tool. Parses the command line, opens the capture
// and runs the command; everything else lives in the cli library.
#include <exception>
#include <iostream>
#include <memory>
#include <variant>

#include "cli/Arguments.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "cli/InterruptSignal.h"
#include "link/Capture.h"
#include "record/UpdateRecord.h"
#include "update/workers/Pacer.h"

namespace {

// The options that every command but history has.
lut::cli::CommonOptions* CommonOf(lut::cli::Invocation& invocation) {
    return std::visit(
        [](auto& options) -> lut::cli::CommonOptions* {
            if constexpr (requires { options.common; }) {
                return &options.common;
            } else {
                return nullptr;
            }
        },
        invocation);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace lut::cli;
    const Console console;
    const Arguments arguments(argc, argv);
    const ParseResult parsed = ParseCommandLine(arguments.Count(), arguments.Values(), std::cout, std::cerr);
    if (!parsed.invocation) {
        return parsed.exitCode;
    }
    Invocation invocation = *parsed.invocation;
    // Before anything is sent, so that a capture that cannot be written costs nothing on the network.
    CommonOptions* common = CommonOf(invocation);
    std::shared_ptr<lut::Capture> capture;
    if (common != nullptr && common->capture) {
        capture = std::make_shared<lut::Capture>();
        const lut::CaptureContext context =
            lut::Capture::ContextOf("logger-update", lut::record::ToolVersion(),
                                    {arguments.Values(), static_cast<std::size_t>(arguments.Count())});
        if (const std::error_code why = capture->Open(*common->capture, context)) {
            std::cerr << "logger-update: the capture " << *common->capture
                      << " cannot be written: " << why.message() << '\n';
            return ToInt(ExitCode::BadArguments);
        }
        common->tool.capture = capture;
    }
    int code = ToInt(ExitCode::EndpointFailed);
    try {
        InterruptSignal interrupt;
        lut::RealPacer pacer;
        const RunContext context{std::cout, std::cerr, console.Terminal(), pacer, interrupt.Handle()};
        code = std::visit(
            [&context](const auto& options) {
                using Options = std::decay_t<decltype(options)>;
                if constexpr (std::is_same_v<Options, SearchOptions>) {
                    return RunSearch(options, context);
                } else if constexpr (std::is_same_v<Options, HistoryOptions>) {
                    return RunHistory(options, context);
                } else if constexpr (std::is_same_v<Options, DoctorOptions>) {
                    return RunDoctor(options, context);
                } else {
                    return RunUpdate(options, context);
                }
            },
            invocation);
    } catch (const std::exception& error) {
        std::cerr << "logger-update: " << error.what() << '\n';
    }
    if (capture) {
        if (const auto failure = capture->WriteFailure()) {
            std::cerr << "logger-update: " << *failure << '\n';
        }
    }
    return code;
}
