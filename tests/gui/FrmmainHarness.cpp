#include "tests/gui/FrmmainHarness.h"

#include <array>

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace lut::test {

bool ScriptedDialog::Execute() {
    proposals.push_back(fileName_);
    if (choices.empty()) {
        return false;
    }
    Choice choice = std::move(choices.front());
    choices.pop_front();
    if (!choice.accept) {
        return false;
    }
    fileName_ = choice.path;
    if (choice.afterChoice) {
        choice.afterChoice();
    }
    return true;
}

namespace {

app::FrmmainSettings OnLoopback() {
    app::FrmmainSettings settings;
    settings.localAddress = QStringLiteral("127.0.0.1");
    return settings;
}

}  // namespace

WindowUnderTest::WindowUnderTest(Ports ports)
    : WindowUnderTest(ports == Ports::AnyFree ? ToolOptions{"127.0.0.1", 0, 0} : ToolOptions{"127.0.0.1"},
                      OnLoopback()) {}

WindowUnderTest::WindowUnderTest(ToolOptions tool, app::FrmmainSettings settings) {
    tool.bindAddress = "127.0.0.1";
    settings.tool = std::move(tool);
    settings.boxes = [this](const app::Box& box) { boxes.push_back(box); };
    auto scripted = std::make_unique<ScriptedDialog>();
    dialog = scripted.get();
    settings.dlgOpen1 = std::move(scripted);
    window = std::make_unique<app::TFrmmain>(std::move(settings));
}

bool WindowUnderTest::Start() {
    window->show();
    return QTest::qWaitForWindowActive(window.get()) &&
           QTest::qWaitFor([this] { return !window->Operations().StatusText().empty(); });
}

bool WindowUnderTest::Search() {
    if (!window->findChild<QLabel*>(QStringLiteral("lbl3"))->text().startsWith(QStringLiteral("127."))) {
        return false;
    }
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnsearch")), Qt::LeftButton);
    return true;
}

std::vector<LoggerRow> WindowUnderTest::Rows() {
    std::vector<LoggerRow> rows;
    for (int i = 0; i < window->Operations().RowCount(); ++i) {
        rows.push_back(window->Operations().Row(i));
    }
    return rows;
}

FakeLogger::FakeLogger(const std::string& address, std::vector<std::string> answers, std::uint16_t port)
    : answers_(std::move(answers)) {
    if (endpoint_.Open({address, port})) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(endpoint_.Handle(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Receive(); });
}

void FakeLogger::Send(std::string_view bytes, std::uint16_t port) {
    endpoint_.SendTo(bytes, "127.0.0.1", port);
}

void FakeLogger::Receive() {
    std::array<char, RxBufferSize> buffer{};
    const ReceiveResult received = endpoint_.Receive(buffer);
    if (std::string_view(buffer.data(), received.count) != DiscoveryProbe || ++probes_ > 1) {
        return;
    }
    for (const std::string& answer : answers_) {
        endpoint_.SendTo(answer, received.senderAddress, received.senderPort);
    }
}

std::string Answer(std::string_view text) {
    return FrameStart + std::string(text) + FrameEnd;
}

}  // namespace lut::test
