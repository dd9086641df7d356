// Browse through an injected open-file dialog: what the window shows and what the tool holds afterwards.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "tests/gui/FrmmainHarness.h"

using lut::test::Ports;
using lut::test::ScriptedDialog;
using lut::test::WindowUnderTest;

namespace {

struct Shown {
    std::string path;
    std::string version;
    std::string image;
};

Shown ShownBy(WindowUnderTest& w) {
    return {w.window->Operations().FilePathText(), w.window->Operations().VersionText(),
            *w.window->Core().LoadedImage()};
}

std::string MakeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes) {
    QFile file(folder.filePath(name));
    QDir().mkpath(QFileInfo(file).absolutePath());
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName().toStdString();
}

}  // namespace

class FrmmainBrowseTest : public QObject {
    Q_OBJECT

  private slots:
    void oneChoice_data();
    void oneChoice();
    void secondBrowseProposesTheFirstFile();
    void vanishedFileEmptiesTheImage();
};

void FrmmainBrowseTest::oneChoice_data() {
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("image");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancel") << false << "S1.bin" << QByteArray("\x0A") << ""
                            << ""
                            << "";
    QTest::newRow("name begins with 's'") << true << "s1.bin" << QByteArray("\x0A") << ""
                                          << ""
                                          << "Version must be begin with S";
    QTest::newRow("empty file") << true << "S0.bin" << QByteArray() << "S0"
                                << ""
                                << "";
    QTest::newRow("dotted version") << true << "S1.0.2.bin" << QByteArray("\xFF\x00", 2) << "S1.0.2"
                                    << "FF00"
                                    << "";
    QTest::newRow("folder named in another script")
        << true << QStringLiteral("Übersicht-更新/S3.bin") << QByteArray("\x3C") << "S3"
        << "3C"
        << "";
    // The version is the name's own bytes (UTF-8), whatever the characters.
    QTest::newRow("accented version")
        << true << QStringLiteral("S\u00E9.bin") << QByteArray("\x0A") << QStringLiteral("S\u00E9") << "0A"
        << "";
    QTest::newRow("version outside Latin-1") << true << QStringLiteral("S\u7248\u672C.bin")
                                             << QByteArray("\x0A") << QStringLiteral("S\u7248\u672C") << "0A"
                                             << "";
    QTest::newRow("no extension, full stop in the folder")
        << true << "v1.2/Sfw" << QByteArray("\x0A") << "Sfw"
        << "0A"
        << "";
}

void FrmmainBrowseTest::oneChoice() {
    QFETCH(bool, accept);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, version);
    QFETCH(QString, image);
    QFETCH(QString, message);
    QTemporaryDir folder;
    const std::string path = MakeFile(folder, name, bytes);
    WindowUnderTest w(Ports::AnyFree);
    w.dialog->choices.push_back({accept, path, {}});

    QTest::mouseClick(w.window->findChild<QWidget*>(QStringLiteral("btn1")), Qt::LeftButton);
    const Shown shown = ShownBy(w);
    QCOMPARE(shown.path, version.isEmpty() ? std::string() : path);
    QCOMPARE(shown.version, version.toStdString());
    QCOMPARE(shown.image, image.toStdString());
    QCOMPARE(w.boxes.size(), message.isEmpty() ? 0u : 1u);
    if (!message.isEmpty()) {
        QVERIFY(w.boxes[0].kind == lut::app::BoxKind::Plain);
        QCOMPARE(w.boxes[0].text, message);
    }
}

void FrmmainBrowseTest::secondBrowseProposesTheFirstFile() {
    QTemporaryDir folder;
    const std::string first = MakeFile(folder, QStringLiteral("S2.1.bin"), QByteArray("\x12\x34"));
    const std::string badlyNamed = MakeFile(folder, QStringLiteral("x2.2.bin"), QByteArray("\x56"));
    WindowUnderTest w(Ports::AnyFree);
    w.dialog->choices = {{true, first, {}}, {true, badlyNamed, {}}};
    w.window->btn1Click();
    w.window->btn1Click();
    QCOMPARE(w.dialog->proposals, std::vector<std::string>({"", first}));
    const Shown shown = ShownBy(w);
    QCOMPARE(shown.path, first);
    QCOMPARE(shown.version, std::string("S2.1"));
    QCOMPARE(shown.image, std::string("1234"));
}

void FrmmainBrowseTest::vanishedFileEmptiesTheImage() {
    QTemporaryDir folder;
    const std::string kept = MakeFile(folder, QStringLiteral("S1.bin"), QByteArray("\xAB"));
    const std::string vanishing = MakeFile(folder, QStringLiteral("S2.bin"), QByteArray("\xCD"));
    WindowUnderTest w(Ports::AnyFree);
    w.dialog->choices = {{true, kept, {}}, {true, vanishing, [&vanishing] {
                                                QFile::remove(QString::fromStdString(vanishing));
                                            }}};
    w.window->btn1Click();
    w.window->btn1Click();
    const Shown shown = ShownBy(w);
    QCOMPARE(shown.path, vanishing);
    QCOMPARE(shown.version, std::string("S2"));
    QCOMPARE(shown.image, std::string());
    QCOMPARE(w.boxes.size(), 1u);
    QVERIFY(w.boxes[0].kind == lut::app::BoxKind::Error);
    QVERIFY2(w.boxes[0].text.contains(QString::fromStdString(vanishing)), qPrintable(w.boxes[0].text));
}

QTEST_MAIN(FrmmainBrowseTest)
#include "tst_frmmain_browse.moc"
