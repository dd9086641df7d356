// What the window's tests share: a window on loopback whose boxes and open-file dialog are recorded
// instead of shown, and fake loggers on 127.0.0.x that answer the sweep's probe.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QSocketNotifier>

#include "app/Frmmain.h"
#include "link/Endpoint.h"
#include "link/uPubpro.h"

namespace lut::test {

// Ports of a window under test: the real ones (the discovery tests need port 23), or any free ones.
enum class Ports { Standard, AnyFree };

class ScriptedDialog final : public FileDialog {
  public:
    struct Choice {
        bool accept = true;
        std::string path;
        std::function<void()> afterChoice;  // runs once the user has chosen, before the file is read
    };

    std::deque<Choice> choices;
    std::vector<std::string> proposals;  // the name proposed at each showing

    void SetFileName(const std::filesystem::path& proposed) override { fileName_ = proposed.string(); }
    bool Execute() override;
    std::filesystem::path FileName() const override { return fileName_; }

  private:
    std::string fileName_;
};

struct WindowUnderTest {
    explicit WindowUnderTest(Ports ports);
    // A window with these endpoints (bound to 127.0.0.1) and settings; boxes and dialog as above.
    WindowUnderTest(ToolOptions tool, app::FrmmainSettings settings);

    // Shows the window and waits for its start-up (the first activation).
    [[nodiscard]] bool Start();
    // Presses Search; refuses unless the local address is loopback, so no test probes a real subnet.
    [[nodiscard]] bool Search();
    std::vector<LoggerRow> Rows();

    std::vector<app::Box> boxes;
    ScriptedDialog* dialog = nullptr;
    std::unique_ptr<app::TFrmmain> window;
};

// A logger at a loopback address: answers the first probe it hears with its answers, in order.
class FakeLogger {
  public:
    FakeLogger(const std::string& address, std::vector<std::string> answers,
               std::uint16_t port = DiscoveryPort);

    bool IsOpen() const { return endpoint_.IsOpen(); }
    int ProbesHeard() const { return probes_; }
    void Send(std::string_view bytes, std::uint16_t port = DiscoveryPort);

  private:
    void Receive();

    Endpoint endpoint_;
    std::vector<std::string> answers_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int probes_ = 0;
};

// ESC + text + ENQ: a discovery answer.
std::string Answer(std::string_view text);

}  // namespace lut::test
