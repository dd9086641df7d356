// Program entry: the command line, the main window and its message loop.
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/Capture.h"
#include "record/UpdateRecord.h"
#include "update/Messages.h"
#include "win32/Frmmain.h"
// After <windows.h>, which Frmmain.h brings, as it needs.
#include <shellapi.h>

#include "win32/Options.h"
#include "win32/WideText.h"

namespace {

// The program's arguments as UTF-8, its own name first.
std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(lut::win32::Narrow(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

void Tell(const std::string& text, UINT icon) {
    MessageBoxW(nullptr, lut::win32::Widen(text).c_str(), lut::win32::Widen(lut::text::Caption).c_str(),
                MB_OK | icon);
}

}  // namespace

int main() {
    lut::win32::FrmmainSettings settings;
    try {
        const std::vector<std::string> arguments = Arguments();
        const lut::win32::Options options =
            lut::win32::ParseOptions(std::span(arguments).subspan(arguments.empty() ? 0 : 1));
        if (options.help) {
            Tell(lut::win32::OptionsHelp, MB_ICONINFORMATION);
            return 0;
        }
        if (options.bind) {
            settings.tool.bindAddress = *options.bind;
        }
        settings.localAddress = options.localAddress;
        // Before the window opens its endpoints, so that nothing is sent unrecorded.
        if (options.capture) {
            settings.tool.capture = std::make_shared<lut::Capture>();
            std::vector<const char*> texts;
            for (const std::string& argument : arguments) {
                texts.push_back(argument.c_str());
            }
            const lut::CaptureContext context =
                lut::Capture::ContextOf("window", lut::record::ToolVersion(), texts);
            if (const std::error_code why = settings.tool.capture->Open(*options.capture, context)) {
                Tell(lut::Capture::OpenFailure(*options.capture, why), MB_ICONSTOP);
                return 1;
            }
        }
    } catch (const std::invalid_argument& error) {
        Tell(std::string(error.what()) + "\n\n" + lut::win32::OptionsHelp, MB_ICONSTOP);
        return 2;
    }
    const std::shared_ptr<lut::Capture> capture = settings.tool.capture;
    try {
        MSG message{};
        {
            lut::win32::TFrmmain Frmmain(std::move(settings));
            Frmmain.Show();
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (!IsDialogMessageW(Frmmain.Handle(), &message)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            }
        }
        if (const auto failure = capture ? capture->WriteFailure() : std::nullopt) {
            Tell(*failure, MB_ICONWARNING);
        }
        return static_cast<int>(message.wParam);
    } catch (const std::exception& error) {
        Tell(error.what(), MB_ICONSTOP);
        return 1;
    }
}
