// Renders the window as a technician first meets it, offscreen, into a PNG for the README: started on
// loopback, three simulated loggers found by a sweep of 127.0.0.x on ports of its own, and a file chosen.
#include <iostream>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "tests/gui/FrmmainHarness.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: window-shot OUTPUT.png\n";
        return 2;
    }
    constexpr std::uint16_t updatePort = 48000;
    constexpr std::uint16_t discoveryPort = 48023;

    QTemporaryDir folder;
    QDir(folder.path()).mkdir(QStringLiteral("firmware"));
    QFile image(folder.filePath(QStringLiteral("firmware/S1.0.3.bin")));
    image.open(QIODevice::WriteOnly);
    image.write(QByteArray(90000, '\x5A'));
    image.close();

    lut::app::FrmmainSettings settings;
    settings.tool = {"127.0.0.1", updatePort, discoveryPort};
    settings.localAddress = QStringLiteral("127.0.0.1");
    settings.boxes = [](const lut::app::Box& box) { std::cerr << box.text.toStdString() << '\n'; };
    auto dialog = std::make_unique<lut::test::ScriptedDialog>();
    dialog->choices.push_back({true, image.fileName().toStdString(), {}});
    settings.dlgOpen1 = std::move(dialog);
    lut::app::TFrmmain window(std::move(settings));
    window.show();
    if (!QTest::qWaitForWindowActive(&window)) {
        std::cerr << "the window did not come up\n";
        return 1;
    }

    using lut::test::Answer;
    lut::test::FakeLogger first("127.0.0.21", {Answer("21040117#S1.0.2")}, discoveryPort);
    lut::test::FakeLogger second("127.0.0.22", {Answer("21040203#S1.0.3")}, discoveryPort);
    lut::test::FakeLogger third("127.0.0.23", {Answer("21050588#S0.9.8")}, discoveryPort);
    window.btnsearchClick();
    if (!QTest::qWaitFor([&window] { return window.Operations().RowCount() == 3; })) {
        std::cerr << "the simulated loggers did not answer\n";
        return 1;
    }
    window.btn1Click();
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("lv1"));
    list->setCurrentItem(list->topLevelItem(0));
    QTest::qWait(50);

    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
