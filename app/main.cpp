// Program entry: the command line, the application and the main window.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QStringList>

#include "app/Appearance.h"
#include "app/Frmmain.h"
#include "link/Capture.h"
#include "record/UpdateRecord.h"
#include "update/Messages.h"

namespace {

// Without a display Qt aborts with its plugin error; a platform chosen on purpose (offscreen in tests)
// needs none.
bool HasGraphicalSession(const std::vector<std::string>& qtArguments) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM")) {
        return true;
    }
    return std::any_of(qtArguments.begin(), qtArguments.end(), [](const std::string& argument) {
        return argument == "-platform" || argument == "--platform";
    });
#else
    (void)qtArguments;
    return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{
        "Logger Update Tool: finds the data loggers on the local /24 subnet and loads a firmware "
        "image into one of them.\nWithout options the endpoints bind every local address and the "
        "local address is looked up from the machine's host name. Qt's own options (such as "
        "-platform) are passed on to Qt.",
        "logger-update-tool"};
    std::string bindAddress;
    std::string localAddress;
    std::string capturePath;
    cli.add_option("--bind", bindAddress,
                   "IPv4 address both endpoints bind (ports 8000 and 23) instead of every local address")
        ->check(CLI::ValidIPV4);
    cli.add_option("--local-address", localAddress,
                   "IPv4 address shown as the local address, whose /24 subnet Search sweeps, instead of "
                   "the address looked up")
        ->check(CLI::ValidIPV4);
    cli.add_option(
        "--capture", capturePath,
        "Record every datagram sent and received in this file, for Wireshark: pcapng when its name "
        "ends in .pcapng, else classic pcap");
    cli.allow_extras();
    CLI11_PARSE(cli, argc, argv);

    // What CLI11 did not take is Qt's; whatever Qt does not take either is a mistake of the caller.
    std::vector<std::string> qtArguments{argv[0]};
    for (const std::string& extra : cli.remaining()) {
        qtArguments.push_back(extra);
    }
    std::vector<char*> qtArgv;
    for (std::string& argument : qtArguments) {
        qtArgv.push_back(argument.data());
    }
    int qtArgc = static_cast<int>(qtArgv.size());
    qtArgv.push_back(nullptr);

    if (!HasGraphicalSession(qtArguments)) {
        std::cerr << lut::text::NoGraphicalSession << '\n';
        return 1;
    }

    QApplication application(qtArgc, qtArgv.data());
    if (const QStringList unknown = QCoreApplication::arguments().mid(1); !unknown.isEmpty()) {
        std::cerr << "Unknown option: " << unknown.join(u' ').toStdString()
                  << "\nRun with --help for more information.\n";
        return 2;
    }
    application.setWindowIcon(lut::app::ToolIcon());

    lut::app::FrmmainSettings settings;
    // Before the window opens its endpoints, so that nothing is sent unrecorded.
    if (!capturePath.empty()) {
        settings.tool.capture = std::make_shared<lut::Capture>();
        const lut::CaptureContext context = lut::Capture::ContextOf("window", lut::record::ToolVersion(),
                                                                    {argv, static_cast<std::size_t>(argc)});
        if (const std::error_code why = settings.tool.capture->Open(capturePath, context)) {
            std::cerr << lut::Capture::OpenFailure(capturePath, why) << '\n';
            return 1;
        }
    }
    const std::shared_ptr<lut::Capture> capture = settings.tool.capture;
    if (!bindAddress.empty()) {
        settings.tool.bindAddress = bindAddress;
    }
    if (!localAddress.empty()) {
        settings.localAddress = QString::fromStdString(localAddress);
    }
    int code = 0;
    {
        lut::app::TFrmmain Frmmain(std::move(settings));
        Frmmain.show();
        code = QApplication::exec();
    }
    if (const auto failure = capture ? capture->WriteFailure() : std::nullopt) {
        std::cerr << *failure << '\n';
    }
    return code;
}
