// logger-sim: simulated data loggers on loopback addresses, the peer of the tool's search and update, with
// knobs for the faults a real logger or network can show.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/SimOptions.h"
#include "sim/SimRunner.h"

namespace {

constexpr const char* Description =
    "Simulated data loggers for the Logger Update Tool. Each logger binds its own loopback address\n"
    "(127.0.0.0/8 only), answers the search probe on the discovery port and plays the logger's side of\n"
    "the update on the update port. Every exchange is logged, one line each; a completed image is\n"
    "written to --out-dir. The process ends by itself after --run-time, or on SIGINT/SIGTERM.";

constexpr const char* Examples =
    "Examples:\n"
    "  logger-sim --base 127.0.0.2 --count 3 --discovery-port 47023 --update-port 48000 --run-time 60\n"
    "  logger-sim --logger 127.0.0.5,12345,S1.02 --drop-blocks 3,7 --out-dir /tmp/images\n"
    "  logger-sim --loss 20 --seed 7 --split --junk --log /tmp/sim.log\n"
    "  logger-sim --count 12 --delay 120 --jitter 60 --duplicate 2 --answer-loss 3 --seed 5";

struct CommandLine {
    lut::sim::SimOptions options;
    std::vector<std::string> loggerOptions;
    std::string base = "127.0.0.2";
    std::size_t count = 1;
    std::vector<std::uint32_t> dropBlocks;
    std::string refusal;
    std::string failAnswer;
    double runTimeSeconds = 600;
    double restartSeconds = 0;
    int delayMs = 0;
    int jitterMs = 0;
};

// A range check whose limits the option's help text states, so that the type column stays short.
template <typename T>
CLI::Validator Within(T min, T max) {
    return CLI::Range(min, max).description("");
}

void AddOptions(CLI::App& app, CommandLine& line) {
    lut::sim::SimOptions& options = line.options;
    lut::sim::LoggerBehaviour& behaviour = options.behaviour;
    app.footer(Examples);

    const std::string loggers = "Loggers (loopback addresses 127.0.0.0/8 only)";
    auto* logger = app.add_option("--logger", line.loggerOptions,
                                  "A logger at ADDRESS with that serial number and version; repeat\n"
                                  "for more loggers. Missing fields take the defaults of the\n"
                                  "logger's place in the list (SN0001 and S1.00 for the first)")
                       ->type_name("ADDRESS[,SERIAL[,VERSION]]")
                       ->group(loggers);
    app.add_flag("--allow-any-address", options.anyAddress,
                 "Let --logger addresses lie outside 127.0.0.0/8. Only for tests that run\n"
                 "the loggers inside network namespaces of their own")
        ->needs(logger)
        ->group(loggers);
    app.add_option("--base", line.base, "Address of the first of --count loggers at consecutive addresses")
        ->type_name("ADDRESS")
        ->capture_default_str()
        ->excludes(logger)
        ->group(loggers);
    app.add_option("--count", line.count,
                   "Number of loggers from --base (1 to 254); serial numbers SN0001,\n"
                   "SN0002, ... and versions S1.00, S1.01, ...")
        ->type_name("N")
        ->capture_default_str()
        ->check(Within(std::size_t{1}, lut::sim::MaxLoggers))
        ->excludes(logger)
        ->group(loggers);
    app.add_option("--discovery-port", options.discoveryPort,
                   "Port on which each logger answers the probe; 0 picks a free one\n"
                   "(logged at the start)")
        ->type_name("PORT")
        ->capture_default_str()
        ->group(loggers);
    app.add_option("--update-port", options.updatePort,
                   "Port on which each logger takes the update; 0 picks a free one\n"
                   "(logged at the start)")
        ->type_name("PORT")
        ->capture_default_str()
        ->group(loggers);

    const std::string answers = "Update answers";
    app.add_option("--start-block", behaviour.startBlock,
                   "Block asked for first in the acceptance \"R\"+4 hex digits (0 to\n"
                   "65535); the blocks below it are reported missing at the query\n"
                   "and so sent again")
        ->type_name("N")
        ->capture_default_str()
        ->check(Within(0, 0xFFFF))
        ->group(answers);
    app.add_option("--refuse", line.refusal,
                   "Refuse every update request with this payload: \"E80\" (no\n"
                   "flash), \"E81\" (same version) or any other text")
        ->type_name("PAYLOAD")
        ->group(answers);

    const std::string faults = "Faults";
    app.add_option("--drop-blocks", line.dropBlocks,
                   "Lose these block indices (decimal) on their first arrival, so\n"
                   "that the query answer asks for them again")
        ->type_name("N,N,...")
        ->delimiter(',')
        ->group(faults);
    app.add_option("--loss", behaviour.lossPercent,
                   "Lose this share (0 to 100) of the blocks on their first arrival;\n"
                   "which ones follows from --seed and the logger's address, the\n"
                   "same on every run")
        ->type_name("PERCENT")
        ->check(Within(0u, 100u))
        ->group(faults);
    app.add_option("--seed", behaviour.seed, "Seed of --loss and of the network's faults")
        ->type_name("N")
        ->capture_default_str()
        ->group(faults);
    auto* silentQueries = app.add_option("--silent-queries", behaviour.silentQueries,
                                         "Leave the first K \"EN\" queries unanswered")
                              ->type_name("K")
                              ->group(faults);
    auto* silent = app.add_flag("--silent", behaviour.silent, "Never answer an \"EN\" query")
                       ->excludes(silentQueries)
                       ->group(faults);
    app.add_option("--fail-answer", line.failAnswer,
                   "Answer every \"EN\" query with this payload (a failure unless it\n"
                   "begins with \"R\")")
        ->type_name("PAYLOAD")
        ->excludes(silent)
        ->group(faults);
    app.add_flag("--split", behaviour.split, "Send each answer split over two datagrams")->group(faults);
    app.add_flag("--junk", behaviour.junk, "Put junk bytes before and after each answer frame")
        ->group(faults);
    app.add_flag("--bad-check", behaviour.badCheck, "Give the answers on the update port a wrong check code")
        ->group(faults);
    app.add_flag("--no-version", behaviour.noVersion,
                 "Answer the probe with the serial number alone, no \"#version\"")
        ->group(faults);

    const std::string network = "Network (between the tool and each logger)";
    app.add_option("--delay", line.delayMs,
                   "Delay every datagram by this many milliseconds (0 to 10000) on\n"
                   "its way to the logger and again on the way back")
        ->type_name("MS")
        ->check(Within(0, 10'000))
        ->group(network);
    app.add_option("--jitter", line.jitterMs,
                   "Vary each datagram's delay by up to this many milliseconds (0 to\n"
                   "10000) either way, so that datagrams overtake one another")
        ->type_name("MS")
        ->check(Within(0, 10'000))
        ->group(network);
    app.add_option("--duplicate", options.network.duplicatePercent,
                   "Deliver this share (0 to 100) of the datagrams, either way, twice")
        ->type_name("PERCENT")
        ->check(Within(0u, 100u))
        ->group(network);
    app.add_option("--answer-loss", options.network.answerLossPercent,
                   "Lose this share (0 to 100) of the loggers' answers, probe answers\n"
                   "included; which ones follows from --seed")
        ->type_name("PERCENT")
        ->check(Within(0u, 100u))
        ->group(network);

    const std::string after = "After a completed update";
    app.add_flag("--adopt-version,!--keep-version", behaviour.adoptVersion,
                 "Answer later probes with the version just loaded (the default);\n"
                 "--keep-version keeps reporting the old one, as an image that did\n"
                 "not take")
        ->group(after);
    app.add_option("--restart-after-update", line.restartSeconds,
                   "Stay silent on both ports for this many seconds (0 to 3600) after\n"
                   "answering the final \"R\", as a logger restarting into its new image")
        ->type_name("SECONDS")
        ->check(Within(0.0, 3600.0))
        ->group(after);

    const std::string run = "Run";
    app.add_option("--out-dir", options.outDir,
                   "Write each completed image here as SERIAL_VERSION.bin (images\n"
                   "are not written without it)")
        ->type_name("DIR")
        ->check(CLI::ExistingDirectory.description(""))
        ->group(run);
    app.add_option("--log", options.logFile, "Write the exchange log to this file instead of standard error")
        ->type_name("FILE")
        ->group(run);
    app.add_option("--run-time", line.runTimeSeconds, "Stop by itself after this many seconds (0.1 to 86400)")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->check(Within(0.1, 86400.0))
        ->group(run);
}

// Completes the options from what the command line gave; throws std::invalid_argument on bad input.
void Complete(const CLI::App& app, CommandLine& line) {
    lut::sim::SimOptions& options = line.options;
    if (line.loggerOptions.empty()) {
        options.loggers = lut::sim::LoggersFromBase(line.base, line.count);
    } else {
        if (line.loggerOptions.size() > lut::sim::MaxLoggers) {
            throw std::invalid_argument("at most " + std::to_string(lut::sim::MaxLoggers) + " loggers");
        }
        for (std::size_t i = 0; i < line.loggerOptions.size(); ++i) {
            options.loggers.push_back(
                lut::sim::LoggerFromOption(line.loggerOptions[i], i, options.anyAddress));
        }
    }
    options.behaviour.dropBlocks.insert(line.dropBlocks.begin(), line.dropBlocks.end());
    if (app.count("--refuse") > 0) {
        options.behaviour.refusal = line.refusal;
    }
    if (app.count("--fail-answer") > 0) {
        options.behaviour.failAnswer = line.failAnswer;
    }
    options.runTime = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(line.runTimeSeconds));
    options.network.delay = std::chrono::milliseconds(line.delayMs);
    options.network.jitter = std::chrono::milliseconds(line.jitterMs);
    options.behaviour.restartAfterUpdate = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(line.restartSeconds));
    lut::sim::CheckOptions(options);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{Description, "logger-sim"};
    CommandLine line;
    AddOptions(app, line);
    CLI11_PARSE(app, argc, argv);
    try {
        Complete(app, line);
    } catch (const std::invalid_argument& error) {
        std::cerr << "logger-sim: " << error.what() << "\n";
        return 2;
    }

    std::ofstream logFile;
    if (!line.options.logFile.empty()) {
        logFile.open(line.options.logFile, std::ios::trunc);
        if (!logFile) {
            std::cerr << "logger-sim: cannot write the log file " << line.options.logFile << "\n";
            return 2;
        }
    }
    lut::sim::SimLog log(logFile.is_open() ? static_cast<std::ostream&>(logFile) : std::cerr);
    lut::sim::SimRunner runner(line.options, log);
    try {
        runner.Open();
        runner.Run();
    } catch (const std::exception& error) {
        log.Line(std::string("error: ") + error.what());
        if (logFile.is_open()) {
            std::cerr << "logger-sim: " << error.what() << "\n";
        }
        return 1;
    }
    return 0;
}
