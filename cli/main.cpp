// logger-update: the command line of the Logger Update Tool. Parses the command line and runs the
// command; everything else lives in the cli library.
#include <exception>
#include <iostream>
#include <variant>

#include "cli/Arguments.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "cli/InterruptSignal.h"
#include "update/Pacer.h"

int main(int argc, char** argv) {
    using namespace lut::cli;
    const Console console;
    const Arguments arguments(argc, argv);
    const ParseResult parsed = ParseCommandLine(arguments.Count(), arguments.Values(), std::cout, std::cerr);
    if (!parsed.invocation) {
        return parsed.exitCode;
    }
    try {
        InterruptSignal interrupt;
        lut::RealPacer pacer;
        const RunContext context{std::cout, std::cerr, console.Terminal(), pacer, interrupt.Handle()};
        return std::visit(
            [&context](const auto& options) {
                using Options = std::decay_t<decltype(options)>;
                if constexpr (std::is_same_v<Options, SearchOptions>) {
                    return RunSearch(options, context);
                } else if constexpr (std::is_same_v<Options, HistoryOptions>) {
                    return RunHistory(options, context);
                } else {
                    return RunUpdate(options, context);
                }
            },
            *parsed.invocation);
    } catch (const std::exception& error) {
        std::cerr << "logger-update: " << error.what() << '\n';
        return ToInt(ExitCode::EndpointFailed);
    }
}
